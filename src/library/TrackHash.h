#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

// Track identity: a track file is known by the hash of its name (the last path component,
// extension included, no folders) together with its location. This file holds the one hash
// function that turns a name into that key, so that the database look-ups, the folder
// signature and every deletion by name agree on it; and the small helpers built on it.

namespace vx {

// Any thread: 32-bit FNV-1a of the bytes of `name` (UTF-8 as stored, no normalisation).
uint32_t trackHash(std::string_view name);

// Any thread: trackHash of the last path component of `path` ("a/b/Song.mp3" -> "Song.mp3").
uint32_t trackHashForPath(const std::filesystem::path& path);

// Any thread: true when the lower-cased extension of `path` is "mp3", "m4a", "flac", "ogg" or
// "opus", the kinds of file the library lists (WAV stays the format of pads and recordings).
bool isTrackExtension(const std::filesystem::path& path);

// Any thread: the folder signature, the 64-bit sum of trackHash over every track file
// (isTrackExtension) under `folder`, subfolders included; 0 for a missing folder. Entries that
// cannot be read are skipped.
uint64_t folderSignature(const std::filesystem::path& folder);

// Any thread: true when `path` lies inside `folder` (compared component by component, so
// "/a/Documents2/x" is not inside "/a/Documents").
bool isInsideFolder(const std::filesystem::path& path, const std::filesystem::path& folder);

} // namespace vx
