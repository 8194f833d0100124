#pragma once
// Where a track's file lives, as stored in the library's file group column, and the user
// default that leaves the built-in tracks out of every track list.

namespace vx {

// Imported and transferred tracks, in the user's documents folder.
inline constexpr int kUserLocation = 0;
// The tracks that ship with the application.
inline constexpr int kBuiltInLocation = 1;

// User defaults key (bool): the track lists show only the user's tracks.
inline constexpr const char* kHideBundled = "kHideBundled";

} // namespace vx
