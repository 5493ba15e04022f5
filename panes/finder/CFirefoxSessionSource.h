#pragma once
// The tabs open in Firefox (and browsers built on it), read from the session store that a
// running Firefox keeps in each profile: <profile>/sessionstore-backups/recovery.jsonlz4,
// rewritten by the browser every few seconds while it runs.
//
// Profiles come from each profile root's profiles.ini and installs.ini: the profiles named by
// the [Install...] sections' Default= (the ones in use) first, then every [Profile...] listed,
// each profile once. A profile is skipped quietly when its file is missing, not a regular file,
// bigger than kMaxFileBytes, not in the mozLz4 format, declares more than kMaxSessionBytes,
// does not decompress or does not parse, and when its lock names a process that is gone
// (a stale file left by a crash).
#include "panes/finder/CBrowserPageSource.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace yfx {

class CFirefoxSessionSource : public CBrowserPageSource {
public:
    // Largest session file read (compressed).
    static constexpr std::uintmax_t kMaxFileBytes = 64u * 1024 * 1024;
    // Largest decompressed size a session file may declare.
    static constexpr std::uint32_t kMaxSessionBytes = 256u * 1024 * 1024;

    // The profile roots under $HOME (none when HOME is unset or empty).
    CFirefoxSessionSource();
    // Explicit profile roots, each a folder that may hold profiles.ini (for tests).
    explicit CFirefoxSessionSource(std::vector<std::filesystem::path> profileRoots);

    // The profile roots under a home folder: .mozilla/firefox, .config/mozilla/firefox (newer
    // releases), the same two under the Firefox snap's snap/firefox/common and the Flatpak's
    // .var/app/org.mozilla.firefox (whose newer one is config/mozilla/firefox), then the
    // derivatives' .librewolf and .waterfox.
    static std::vector<std::filesystem::path> ProfileRootsUnder(const std::filesystem::path& home);

    // The open tabs of every profile, profile after profile (see Profiles()), windows and tabs
    // in the file's order; each tab gives its current entry. Reads files only; never throws.
    std::vector<BrowserPage> Pages() override;

    // The profile folders in reading order, each once; a folder need not exist. Unreadable or
    // oversized ini files give no profiles.
    std::vector<std::filesystem::path> Profiles() const;

    // The JSON text inside a mozLz4 file ("mozLz40\0", decompressed size as uint32
    // little-endian, one raw LZ4 block), or nothing when the bytes are not exactly that or
    // declare more than kMaxSessionBytes.
    static std::optional<std::string> DecodeSessionFile(std::string_view fileBytes);

    // The open tabs of a session document: windows[].tabs[], each tab's entries[index - 1]
    // (index 1-based, clamped to the entries the way Firefox restores it; missing or 0 means
    // the last entry). Windows with "closedAt" are left out, as are tabs without entries or
    // without a string url; a missing or non-string title reads "". Text that does not parse
    // or has another shape gives what could be read, possibly nothing. Never throws.
    static std::vector<BrowserPage> PagesFromSessionJson(std::string_view json);

    // True when the profile's lock link ("host:+PID") names a process that no longer runs (or
    // is a zombie waiting to be reaped):
    // Firefox crashed and its recovery file is stale. False when there is no lock or it cannot
    // be read as such (then the file is read), and always false for a Flatpak's profile, whose
    // lock names a process of the sandbox's own process-id namespace.
    static bool HasStaleLock(const std::filesystem::path& profile);

private:
    std::vector<std::filesystem::path> m_profileRoots;
};

} // namespace yfx
