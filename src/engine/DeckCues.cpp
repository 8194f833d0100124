#include "engine/DeckCues.h"

#include "engine/DeckBeats.h"
#include "engine/Transport.h"
#include "engine/audioStream.h"
#include "library/DBController.h"
#include "library/VXAudioFileInfo.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace vx {

namespace {

bool loaded(const audioStream& deck) {
    return deck.isLoaded.load(std::memory_order_acquire);
}

// Replaces the deck's cue copy with `cues` sorted ascending.
void storeCues(audioStream& deck, const std::vector<int64_t>& cues) {
    deck.cuePoints.assign(cues.begin(), cues.end());
    std::sort(deck.cuePoints.begin(), deck.cuePoints.end());
    deck.numCuePoints = static_cast<int32_t>(deck.cuePoints.size());
}

// The track's cue points as the database has them; nullopt when it cannot be asked.
std::optional<std::vector<int64_t>> askDatabase(const audioStream& deck, DBController* db) {
    const auto info = deck.info();
    if (!db || !info) {
        return std::nullopt;
    }
    // A track without a row has no cue points.
    return db->getCuePoints(*info).value_or(std::vector<int64_t>{});
}

} // namespace

void reloadCuePoints(audioStream& deck, DBController* db) {
    if (!loaded(deck)) {
        return;
    }
    if (db) {
        storeCues(deck, askDatabase(deck, db).value_or(std::vector<int64_t>{}));
    }
    recomputeEvenBeats(deck);
}

void addCueAtAudiblePosition(audioStream& deck, DBController* db) {
    addCueAtFrame(deck, db, audiblePosition(deck));
}

void addCueAtFrame(audioStream& deck, DBController* db, double frame) {
    if (!loaded(deck) || !db || !deck.info()) {
        return;
    }
    const double whole = std::trunc(frame);
    if (!(whole >= std::numeric_limits<int32_t>::min() &&
          whole <= std::numeric_limits<int32_t>::max())) {
        return; // not a frame of any track
    }
    const auto p = static_cast<long>(whole);
    const auto& cues = deck.cuePoints;
    if (p != 0 && std::find(cues.begin(), cues.end(), p) != cues.end()) {
        return;
    }
    if (p == 0 && !cues.empty()) {
        return; // the track start is a cue only while there is no other
    }
    db->addCuePoint(*deck.info(), p);
    reloadCuePoints(deck, db);
}

void deleteCue(audioStream& deck, DBController* db, int index) {
    if (!loaded(deck) || !db || !deck.info()) {
        return;
    }
    const auto count = std::min<int64_t>(deck.numCuePoints, std::ssize(deck.cuePoints));
    if (index < 0 || index >= count) {
        return;
    }
    db->removeCuePoint(*deck.info(), deck.cuePoints[static_cast<size_t>(index)]);
    reloadCuePoints(deck, db);
}

void deckFileOpened(audioStream& deck, DBController* db) {
    if (!loaded(deck)) {
        return;
    }
    // The copy still holds the previous track's cues: replace it even without a database.
    storeCues(deck, askDatabase(deck, db).value_or(std::vector<int64_t>{}));
    recomputeEvenBeats(deck);
}

} // namespace vx
