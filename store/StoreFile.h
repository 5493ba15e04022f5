#pragma once
// Where the price memory lives on disk and how its file is looked after: a private folder
// (0700) under the user's data folder, a private file (0600), and the name a damaged file is
// set aside under.
#include <cstdint>
#include <string>

namespace yfx::store {

// "$XDG_DATA_HOME/yuefengxuan/prices.sqlite", or under "$HOME/.local/share" when XDG_DATA_HOME
// is unset, empty or not absolute. Empty when neither variable gives an absolute folder.
std::string DefaultStorePath();

// Makes the folder that holds `path` (and its parents), the last one with mode 0700; an
// existing folder of ours loses any access of group and others. False with `problem` (UTF-8)
// when it cannot be had.
bool PrepareStoreFolder(const std::string& path, std::string& problem);

// Creates the file with mode 0600 unless it exists (an existing file of ours loses any access
// of group and others) and checks that it can be read and written. False with `problem` when
// it is a folder or cannot be opened for writing.
bool PrepareStoreFile(const std::string& path, std::string& problem);

// "<path>.corrupt-YYYYMMDD-HHMMSS", the local time of `time`.
std::string CorruptName(const std::string& path, std::int64_t time);

// Sets a damaged file aside under CorruptName (its write-ahead log beside it; the shared-memory
// index is removed). False with `problem` when it cannot be renamed.
bool SetAside(const std::string& path, const std::string& newName, std::string& problem);

// A short Chinese text for an errno value (UTF-8), with the system's text for the rare ones.
std::string ErrnoText(int error);

} // namespace yfx::store
