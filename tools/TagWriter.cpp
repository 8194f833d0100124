#include "TagWriter.h"

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tstring.h>

namespace vx {

bool TagWriter::write(const std::string& path, const std::string& title, const std::string& artist,
                      const std::string& album, std::string* error) {
    TagLib::MPEG::File file(path.c_str(), false);
    if (!file.isValid()) {
        if (error != nullptr)
            *error = path + ": TagLib cannot open the file";
        return false;
    }
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
    tag->setTitle(TagLib::String(title, TagLib::String::UTF8));
    tag->setArtist(TagLib::String(artist, TagLib::String::UTF8));
    tag->setAlbum(TagLib::String(album, TagLib::String::UTF8));
    if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, TagLib::ID3v2::v4,
                   TagLib::File::DoNotDuplicate)) {
        if (error != nullptr)
            *error = path + ": TagLib cannot save the tags";
        return false;
    }
    return true;
}

} // namespace vx
