#pragma once
// The item pictures kept between runs: a private folder under the user's cache folder
// ($XDG_CACHE_HOME/yuefengxuan/pictures/, by default ~/.cache/yuefengxuan/pictures/), one file
// per picture under the record's file name, with a small record beside each (in the folder's
// ".info/" subfolder) that says where the file came from, until when it is fresh and the
// server's validators (ETag, Last-Modified) for asking again whether it changed.
//
// A record describes exactly one file: it holds the file's inode, size and modification time,
// and a record that does not match the file beside it counts as none (so a kill between the
// file's arrival and its record's never leaves a record vouching for another file). Records
// are written to a temporary name and renamed into place.
//
// The folder is kept within a byte budget by removing the least recently used pictures (the
// use is the file's access time, set explicitly on every use); temporary files nobody has
// written for two minutes (left by a killed run) and records without a file go at the same
// time. Plain C++ without Qt; every operation may run on any thread, and several processes may
// share the folder (each only ever loses a picture it would fetch again).
#include "market/HttpTransfer.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace yfx {

// What the pictures may take on disk (files and records, by their sizes).
inline constexpr std::uint64_t kPictureCacheBudget = 200'000'000;
// How long a picture stays fresh when its answer says nothing about it.
inline constexpr std::int64_t kPictureDefaultLifetime = 24 * 3600;
// A temporary file not written for this long belongs to no transfer under way (a transfer
// that receives less than a byte a second for 30 s is abandoned).
inline constexpr std::int64_t kLeftoverAgeSeconds = 120;

// The picture folder under `cacheHome` ("<cacheHome>/yuefengxuan/pictures/"), created as
// needed with mode 0700 (cacheHome itself too when it is missing but its parent exists). Both
// folders of ours must be real directories owned by the user, closed to everybody else: a
// link or someone else's folder in their place is refused. The path ending in '/', or "".
std::string MakePictureCacheFolderUnder(const std::string& cacheHome);
// The same under $XDG_CACHE_HOME when it is an absolute path, else under $HOME/.cache.
std::string MakePictureCacheFolder();

// Seconds an answer stays fresh, from its headers: Cache-Control's max-age (no-store or
// no-cache: 0), else Expires less Date (less `now` without a Date; an Expires that cannot be
// read: 0), else kPictureDefaultLifetime. Never negative, at most a year.
std::int64_t FreshnessLifetime(const net::ResponseHeaders& headers, std::int64_t now);

// What the folder holds under one name.
struct CachedPicture {
    bool present = false; // a regular file is there
    bool recorded = false; // with a record that matches it
    std::string url;       // the address it came from (recorded only)
    std::int64_t expires = 0;
    std::string etag, lastModified;
    bool FreshAt(std::int64_t now) const { return recorded && now < expires; }
    bool HasValidator() const { return recorded && (!etag.empty() || !lastModified.empty()); }
};

class PictureCache {
public:
    // `folder` ends in '/' (as MakePictureCacheFolder gives it); nothing is read or created
    // until the first operation.
    explicit PictureCache(std::string folder, std::uint64_t budget = kPictureCacheBudget);
    PictureCache(const PictureCache&) = delete;
    PictureCache& operator=(const PictureCache&) = delete;

    const std::string& Folder() const { return m_folder; }
    std::uint64_t Budget() const { return m_budget; }
    // The path of the picture `name` (the folder followed by the name).
    std::string PathOf(const std::string& name) const { return m_folder + name; }

    // The file and record under `name` (a name with '/' or "." / "..": nothing).
    CachedPicture Lookup(const std::string& name) const;

    // The file `name` has just arrived from `url` with these headers: records it (fresh for
    // FreshnessLifetime from `now`) and counts its bytes. True when the folder has gone past
    // its budget and a Trim is due (once, until that Trim ran).
    bool Stored(const std::string& name, const std::string& url, const net::ResponseHeaders& headers,
                std::int64_t now);
    // A 304 confirmed the file `name` from `url`: its record gets the new lifetime (and any
    // validator the answer brought), the file a new use. False when the file or its record is
    // gone or no longer matches (the file must then be fetched anew).
    bool Revalidated(const std::string& name, const std::string& url, const net::ResponseHeaders& headers,
                     std::int64_t now);
    // A use of the file `name`: it becomes the most recently used.
    void Touch(const std::string& name) const;

    struct TrimResult {
        int leftovers = 0; // temporary files and records without a file removed
        int evicted = 0;   // pictures removed for the budget
        std::uint64_t bytes = 0; // what the folder holds afterwards
    };
    // Removes leftovers and, past the budget, the least recently used pictures (with their
    // records) until nine tenths of the budget are left. What the program does at start and
    // when Stored says so; one Trim at a time.
    TrimResult Trim(std::int64_t now);

    // Seconds since the epoch.
    static std::int64_t Now();

private:
    // What tells one file from another that later took its name.
    struct FileId {
        std::uint64_t inode = 0, size = 0;
        std::int64_t mtimeSec = 0, mtimeNsec = 0;
        bool operator==(const FileId&) const = default;
    };
    bool FileOf(const std::string& name, FileId& id) const;
    bool WriteRecord(const std::string& name, const FileId& file, const CachedPicture& record) const;
    bool ReadRecord(const std::string& name, const FileId& file, CachedPicture& out) const;
    std::string InfoFolder() const { return m_folder + ".info/"; }

    const std::string m_folder;
    const std::uint64_t m_budget;
    std::atomic<std::uint64_t> m_bytes{0}; // as the last Trim counted, plus what came since
    std::atomic<bool> m_trimDue{false};
    std::mutex m_trimMutex;
};

} // namespace yfx
