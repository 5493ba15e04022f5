#include "results/CPictureLoader.h"

#include "controls/PictureLoad.h"
#include "controls/PicturePool.h"
#include "market/NetEngine.h"
#include "market/PictureCache.h"
#include "results/CTBItemWnd.h"
#include "results/QueuedCall.h"
#include "results/ResultsHost.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>
#include <QPointer>

#include <algorithm>

namespace {

// The name of the picture file at `path` inside the cache's folder, "" when it lies elsewhere.
std::string CacheName(const yfx::PictureCache* cache, const std::string& path)
{
    if (!cache || cache->Folder().empty() || !path.starts_with(cache->Folder()))
        return {};
    return path.substr(cache->Folder().size());
}

// What a conditional request asks the server about: the cached file's validators.
struct Validators {
    std::string etag, lastModified;
    bool Empty() const { return etag.empty() && lastModified.empty(); }
};

// The downloads of picture files under way for every view: one per file, however many tiles
// and views wait for it. GUI thread only (the engine's callbacks come back by queued calls).
class PictureDownloads : public QObject {
public:
    static PictureDownloads& Instance()
    {
        // a child of the application: gone (its downloads cancelled) before the engine is
        static QPointer<PictureDownloads> instance;
        if (!instance)
            instance = new PictureDownloads(QCoreApplication::instance());
        return *instance;
    }

    ~PictureDownloads() override
    {
        for (auto& [path, entry] : m_entries)
            CNetEngine::Shared().Cancel(entry.handle);
    }

    void Want(const std::string& path, const CTBItemWnd::PictureAddresses& source, const Validators& validators,
              int priority, CPictureLoader* who)
    {
        auto it = m_entries.find(path);
        if (it != m_entries.end()) {
            it->second.listeners.insert(who);
            MoveTo(it->second, priority);
            return;
        }
        Entry& entry = m_entries[path];
        entry.listeners.insert(who);
        entry.thumbUrl = source.thumbUrl;
        entry.image = source.image;
        entry.priority = priority;
        Submit(path, entry, source.thumbUrl, validators);
    }

    void MoveTo(const std::string& path, int priority)
    {
        auto it = m_entries.find(path);
        if (it != m_entries.end())
            MoveTo(it->second, priority);
    }

    // `who` no longer waits for the file; nobody else does: the download is abandoned.
    void Drop(const std::string& path, CPictureLoader* who)
    {
        auto it = m_entries.find(path);
        if (it == m_entries.end())
            return;
        it->second.listeners.erase(who);
        if (it->second.listeners.empty()) {
            CNetEngine::Shared().Cancel(it->second.handle);
            m_entries.erase(it);
        }
    }

private:
    struct Entry {
        CNetEngine::Handle handle = 0;
        unsigned ticket = 0; // tells this download's answer from an abandoned one's
        std::set<CPictureLoader*> listeners;
        std::string thumbUrl;
        std::string image; // the second address, tried when the thumbnail cannot be had
        bool second = false;
        int priority = 0;
    };
    // What the engine's thread made of an answer.
    enum class Answer { Arrived, Confirmed, Gone, Failed };

    using QObject::QObject;

    void MoveTo(Entry& entry, int priority)
    {
        if (priority < entry.priority) {
            entry.priority = priority;
            CNetEngine::Shared().Reprioritize(entry.handle, priority);
        }
    }

    void Submit(const std::string& path, Entry& entry, const std::string& url, const Validators& validators)
    {
        yfx::net::Request request;
        request.url = url;
        request.filePath = path;
        request.maxBytes = static_cast<std::size_t>(yfx::kMaxPictureFileBytes);
        if (!validators.etag.empty())
            request.headers.push_back("If-None-Match: " + validators.etag);
        if (!validators.lastModified.empty())
            request.headers.push_back("If-Modified-Since: " + validators.lastModified);
        const bool conditional = !validators.Empty();
        const unsigned ticket = ++m_nextTicket;
        entry.ticket = ticket;
        yfx::PictureCache* cache = SharedPictureCache(); // lives as long as the process
        entry.handle = CNetEngine::Shared().Submit(
            std::move(request),
            [this, path, url, ticket, conditional, cache, name = CacheName(cache, path)](yfx::net::Result result) {
                // engine thread (this object cancels every download before it goes): the file's
                // record is written as soon as the file is in place
                Answer answer = Answer::Failed;
                bool trim = false;
                if (result.code == 0 && result.status == 200) {
                    answer = Answer::Arrived;
                    trim = cache && !name.empty() && cache->Stored(name, url, result.headers, yfx::PictureCache::Now());
                } else if (result.code == 0 && result.status == 304 && conditional) {
                    answer = cache && !name.empty() && cache->Revalidated(name, url, result.headers, yfx::PictureCache::Now())
                                 ? Answer::Confirmed
                                 : Answer::Gone;
                }
                yfx::PostQueued(this, [this, path, ticket, code = result.code, answer, trim] {
                    OnDone(path, ticket, code, answer, trim);
                });
            },
            entry.priority);
    }

    void OnDone(const std::string& path, unsigned ticket, int code, Answer answer, bool trim)
    {
        if (trim)
            CPictureLoader::TrimCacheLater();
        auto it = m_entries.find(path);
        if (it == m_entries.end() || it->second.ticket != ticket)
            return;
        Entry& entry = it->second;
        if (answer == Answer::Gone) {
            // confirmed, but the cached file went meanwhile: fetched whole
            Submit(path, entry, entry.second ? entry.image : entry.thumbUrl, {});
            return;
        }
        if (code < 0 && !entry.second && !entry.image.empty()) {
            entry.second = true;
            Submit(path, entry, entry.image, {});
            return;
        }
        const std::set<CPictureLoader*> listeners = std::move(entry.listeners);
        m_entries.erase(it);
        const CPictureLoader::Outcome outcome = answer == Answer::Arrived     ? CPictureLoader::Outcome::Arrived
                                                : answer == Answer::Confirmed ? CPictureLoader::Outcome::Confirmed
                                                                              : CPictureLoader::Outcome::Failed;
        for (CPictureLoader* loader : listeners)
            loader->OnPictureDone(path, outcome);
    }

    std::map<std::string, Entry> m_entries;
    unsigned m_nextTicket = 0;
};

// The larger thumbnails (by local path) that could not be had, in any view: their tiles show the
// ordinary ones. GUI thread only; bounded (at worst a larger thumbnail is tried once more).
std::set<std::string>& LargeFailures()
{
    static std::set<std::string> failed;
    return failed;
}

} // namespace

CPictureLoader::CPictureLoader(std::vector<CTBItemWnd*> tiles, QObject* parent)
    : QObject(parent), m_tiles(std::move(tiles))
{
    Connect(m_tiles);
}

void CPictureLoader::Connect(const std::vector<CTBItemWnd*>& tiles)
{
    for (CTBItemWnd* tile : tiles)
        if (m_connected.insert(tile).second)
            connect(&tile->PictureControl(), &CMyImageStatic::decoded, this,
                    [this, tile](bool shown) { OnTileDecoded(tile, shown); });
}

void CPictureLoader::SetTiles(std::vector<CTBItemWnd*> tiles)
{
    m_tiles = std::move(tiles);
    Connect(m_tiles);
    m_near.clear(); // every tile bound now is near
    std::erase_if(m_awaiting, [this](CTBItemWnd* tile) {
        return std::find(m_tiles.begin(), m_tiles.end(), tile) == m_tiles.end();
    });
}

void CPictureLoader::SetAside(const std::map<std::string, QImage>& decoded)
{
    for (const auto& [path, image] : decoded) {
        if (image.isNull() || m_aside.contains(path))
            continue;
        m_aside.emplace(path, image);
        m_asideOrder.push_back(path);
    }
    // what a tile shows now is the tile's; the rest stays aside, the latest ones
    std::set<std::string> shown;
    for (CTBItemWnd* tile : m_tiles)
        shown.insert(tile->PictureSource().path);
    std::erase_if(m_asideOrder, [&](const std::string& path) {
        if (!shown.contains(path))
            return false;
        m_aside.erase(path);
        return true;
    });
    while (m_asideOrder.size() > kDecodedAside) {
        m_aside.erase(m_asideOrder.front());
        m_asideOrder.pop_front();
    }
}

CPictureLoader::~CPictureLoader()
{
    Stop();
}

void CPictureLoader::TrimCacheLater()
{
    QThreadPool* pool = yfx::PicturePool();
    if (!pool || !SharedPictureCache())
        return;
    pool->start([] { // (nothing captured: nothing is handed over)
        if (yfx::PictureCache* cache = SharedPictureCache())
            cache->Trim(yfx::PictureCache::Now());
    });
}

void CPictureLoader::Start()
{
    if (!m_requested.empty() || m_bStopped)
        return;
    Rebound();
}

std::map<std::string, int> CPictureLoader::WantedNow() const
{
    std::map<std::string, int> wanted;
    for (size_t i = 0; i < m_tiles.size(); ++i) {
        const std::string path = m_tiles[i]->PictureSource().path;
        if (!path.empty())
            wanted.emplace(path, static_cast<int>(i)); // keeps the first tile's index
    }
    return wanted;
}

std::map<std::string, QImage> CPictureLoader::DecodedPictures() const
{
    std::map<std::string, QImage> decoded;
    for (CTBItemWnd* tile : m_tiles)
        if (!tile->PictureControl().m_image.isNull() && !tile->PictureSource().path.empty())
            decoded.emplace(tile->PictureSource().path, tile->PictureControl().m_image);
    return decoded;
}

void CPictureLoader::Rebound(const std::map<std::string, QImage>& decoded)
{
    if (m_bStopped)
        return;
    // a larger thumbnail that failed: the ordinary one instead
    for (CTBItemWnd* tile : m_tiles)
        if (tile->PictureSource().large && LargeFailures().contains(tile->PictureSource().path))
            tile->UseOrdinaryPicture();
    // what no tile shows any more: no longer downloaded (asked for again when shown again)
    const std::map<std::string, int> wanted = WantedNow();
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (wanted.contains(*it)) {
            ++it;
            continue;
        }
        PictureDownloads::Instance().Drop(*it, this);
        m_requested.erase(*it);
        m_staleOk.erase(*it);
        it = m_pending.erase(it);
    }
    // A rebound tile shows its file again only where the file may be shown, and takes a picture
    // decoded already (no decoding at all), else has it decoded when near.
    m_awaiting.clear();
    for (size_t i = 0; i < m_tiles.size(); ++i) {
        const std::string& path = m_tiles[i]->PictureSource().path;
        CMyImageStatic& picture = m_tiles[i]->PictureControl();
        if (path.empty() || !m_usable.contains(path)) {
            picture.SetFileReady(false);
            continue;
        }
        picture.SetFileReady(true);
        const QImage* ready = nullptr;
        if (const auto given = decoded.find(path); given != decoded.end())
            ready = &given->second;
        else if (const auto aside = m_aside.find(path); aside != m_aside.end())
            ready = &aside->second;
        if (ready && Near(i))
            picture.SetDecodedImage(picture.m_strImagePath, *ready);
        ShowTile(i);
    }
    SetAside(decoded);
    // in tile order, so that the engine's queue is in that order too
    std::vector<std::pair<int, std::string>> byTile;
    for (const auto& [path, index] : wanted)
        byTile.emplace_back(index, path);
    std::sort(byTile.begin(), byTile.end());
    for (const auto& [index, path] : byTile) {
        if (m_pending.contains(path))
            PictureDownloads::Instance().MoveTo(path, index);
        else if (!m_requested.contains(path))
            Request(path, index);
    }
    if (!Running()) {
        // told later, like every other outcome: whoever started the loader hears of it
        QMetaObject::invokeMethod(this, &CPictureLoader::FinishedIfIdle, Qt::QueuedConnection);
    }
}

void CPictureLoader::FinishedIfIdle()
{
    if (!Running())
        emit finished();
}

void CPictureLoader::Request(const std::string& path, int priority)
{
    for (CTBItemWnd* tile : m_tiles) {
        const CTBItemWnd::PictureAddresses source = tile->PictureSource();
        if (source.path != path)
            continue;
        m_requested.insert(path);
        yfx::PictureCache* cache = SharedPictureCache();
        const std::string name = CacheName(cache, path);
        Validators validators;
        if (!name.empty()) {
            const yfx::CachedPicture cached = cache->Lookup(name);
            // a file of another item under the same name is never this tile's
            const bool ours = cached.recorded && (cached.url == source.thumbUrl || cached.url == source.image);
            if (ours && cached.FreshAt(yfx::PictureCache::Now())) {
                cache->Touch(name);
                Usable(path);
                for (size_t i = 0; i < m_tiles.size(); ++i)
                    if (m_tiles[i]->PictureSource().path == path && !m_awaiting.contains(m_tiles[i]))
                        emit pictureHandled(static_cast<int>(i), true);
                return;
            }
            if (ours)
                m_staleOk.insert(path);
            if (ours && cached.url == source.thumbUrl && cached.HasValidator())
                validators = {cached.etag, cached.lastModified};
        }
        m_pending.insert(path);
        PictureDownloads::Instance().Want(path, source, validators, priority, this);
        return;
    }
}

void CPictureLoader::Stop()
{
    m_bStopped = true;
    for (const std::string& path : m_pending)
        PictureDownloads::Instance().Drop(path, this);
    m_pending.clear();
    m_awaiting.clear();
}

void CPictureLoader::SetNear(const std::vector<bool>& near)
{
    m_near = near;
    m_near.resize(m_tiles.size(), false);
    bool dropped = false;
    for (size_t i = 0; i < m_tiles.size(); ++i) {
        const std::string& path = m_tiles[i]->PictureSource().path;
        if (!path.empty() && m_usable.contains(path))
            ShowTile(i);
        if (!m_near[i] && m_awaiting.erase(m_tiles[i])) {
            emit pictureHandled(static_cast<int>(i), true); // its file is there; it decodes when it comes near
            dropped = true;
        }
    }
    if (dropped)
        FinishedIfIdle();
}

void CPictureLoader::ShowTile(size_t index)
{
    CMyImageStatic& picture = m_tiles[index]->PictureControl();
    picture.SetFileReady(true);
    if (!Near(index)) {
        picture.DestroyImage();
        return;
    }
    const CMyImageStatic::DecodeState state = picture.RequestDecode();
    if (state == CMyImageStatic::DecodeState::Started || state == CMyImageStatic::DecodeState::Waiting)
        m_awaiting.insert(m_tiles[index]);
}

void CPictureLoader::Usable(const std::string& path)
{
    m_usable.insert(path);
    for (size_t i = 0; i < m_tiles.size(); ++i)
        if (m_tiles[i]->PictureSource().path == path)
            ShowTile(i);
}

void CPictureLoader::OnPictureDone(const std::string& path, Outcome outcome)
{
    if (!m_pending.erase(path))
        return;
    if (outcome == Outcome::Failed && !m_staleOk.contains(path) && FallBack(path))
        return;
    // (a file that came is the most recently used already; a confirmed one was touched)
    if (outcome != Outcome::Failed || m_staleOk.contains(path))
        Usable(path);
    for (size_t i = 0; i < m_tiles.size(); ++i) {
        if (m_tiles[i]->PictureSource().path != path)
            continue;
        m_tiles[i]->PictureReady();
        if (!m_awaiting.contains(m_tiles[i]))
            emit pictureHandled(static_cast<int>(i), true);
    }
    FinishedIfIdle();
}

bool CPictureLoader::FallBack(const std::string& path)
{
    const bool shown = std::any_of(m_tiles.begin(), m_tiles.end(), [&](CTBItemWnd* tile) {
        return tile->PictureSource().large && tile->PictureSource().path == path;
    });
    if (!shown)
        return false;
    std::set<std::string>& failed = LargeFailures();
    if (failed.size() >= kLargeFailuresKept)
        failed.clear();
    failed.insert(path);
    m_usable.erase(path);
    Rebound(); // (those tiles ask for their ordinary thumbnails, in tile order)
    return true;
}

void CPictureLoader::OnTileDecoded(CTBItemWnd* tile, bool shown)
{
    if (!shown && tile->PictureSource().large &&
        std::find(m_tiles.begin(), m_tiles.end(), tile) != m_tiles.end()) {
        // a larger thumbnail that came but is refused (not a picture, beyond the bounds)
        m_awaiting.erase(tile);
        FallBack(tile->PictureSource().path);
        FinishedIfIdle();
        return;
    }
    if (!m_awaiting.erase(tile))
        return; // a decoding the control asked for itself, or of a tile no longer this loader's
    const auto it = std::find(m_tiles.begin(), m_tiles.end(), tile);
    emit pictureHandled(static_cast<int>(it - m_tiles.begin()), true);
    FinishedIfIdle();
}
