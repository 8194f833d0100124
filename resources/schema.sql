-- The track database, as the build ships it: the schema, empty. The application copies the
-- file made from this script into the documents folder on first use and never creates tables
-- itself. Bump user_version (and teach the application the step) whenever this changes.

PRAGMA user_version = 1;

-- One row per known track file. A track is (hash, location): the 32-bit FNV-1a hash of the
-- file's name and 0 (documents folder) or 1 (built-in folder). AUTOINCREMENT keeps the ids of
-- removed rows from going to new tracks, so cue points left under an old id never turn up on
-- another track.
CREATE TABLE parameters (
    id         INTEGER PRIMARY KEY AUTOINCREMENT,
    hash       INTEGER NOT NULL,
    location   INTEGER NOT NULL,
    filename   TEXT,
    artist     TEXT,
    title      TEXT,
    playcount  INTEGER,
    lastplayed REAL,
    tempo      REAL DEFAULT 0,
    album      TEXT,
    date_added REAL,
    lenght     REAL,
    size       INTEGER
);
CREATE UNIQUE INDEX parameters_track ON parameters (hash, location);

-- Membership of tracks in the five crates (no 0 to 4); ascending sort_order is play order.
CREATE TABLE crates (
    id         INTEGER PRIMARY KEY,
    no         INTEGER NOT NULL,
    file_id    INTEGER NOT NULL,
    sort_order INTEGER NOT NULL
);
CREATE INDEX crates_order ON crates (no, sort_order);
CREATE INDEX crates_member ON crates (file_id);

-- Cue points of a track, in frames at 44100 Hz.
CREATE TABLE cue_points (
    track_id INTEGER NOT NULL,
    position INTEGER NOT NULL,
    enabled  INTEGER
);
CREATE INDEX cue_points_track ON cue_points (track_id);
