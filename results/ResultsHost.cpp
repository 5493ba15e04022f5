#include "results/ResultsHost.h"

#include <atomic>
#include <list>
#include <memory>
#include <mutex>

namespace {

std::atomic<IResultsHost*> g_host{nullptr};

// Every folder ever set stays alive, so a reference handed out earlier never dangles and a
// reader on another thread sees either the old or the new text, never a torn one.
std::mutex g_folderMutex;
std::list<std::string> g_folders;
const std::string g_noFolder;
std::atomic<const std::string*> g_folder{&g_noFolder};
// The caches of those folders, alive as long as the folders.
std::list<std::unique_ptr<yfx::PictureCache>> g_caches;
std::atomic<yfx::PictureCache*> g_cache{nullptr};

} // namespace

IResultsHost* MainResultsHost()
{
    return g_host.load();
}

void SetMainResultsHost(IResultsHost* host)
{
    g_host.store(host);
}

const std::string& PictureFolder()
{
    return *g_folder.load(std::memory_order_acquire);
}

void SetPictureFolder(const std::string& folder)
{
    std::lock_guard lock(g_folderMutex);
    if (*g_folder.load() == folder)
        return;
    g_folders.push_back(folder);
    yfx::PictureCache* cache = nullptr;
    if (!folder.empty()) {
        g_caches.push_back(std::make_unique<yfx::PictureCache>(folder));
        cache = g_caches.back().get();
    }
    g_cache.store(cache, std::memory_order_release);
    g_folder.store(&g_folders.back(), std::memory_order_release);
}

yfx::PictureCache* SharedPictureCache()
{
    return g_cache.load(std::memory_order_acquire);
}

const yfx::BadgeTable& BadgeIds()
{
    static const yfx::BadgeTable table;
    return table;
}
