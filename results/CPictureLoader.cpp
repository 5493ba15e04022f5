#include "results/CPictureLoader.h"

#include "controls/PictureLoad.h"
#include "market/NetEngine.h"
#include "results/CTBItemWnd.h"
#include "results/QueuedCall.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>
#include <QPointer>

#include <algorithm>

namespace {

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

    void Want(const std::string& path, const CTBItemWnd::PictureAddresses& source, int priority,
              CPictureLoader* who)
    {
        auto it = m_entries.find(path);
        if (it != m_entries.end()) {
            it->second.listeners.insert(who);
            MoveTo(it->second, priority);
            return;
        }
        Entry& entry = m_entries[path];
        entry.listeners.insert(who);
        entry.image = source.image;
        entry.priority = priority;
        Submit(path, entry, source.thumbUrl);
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
        std::string image; // the second address, tried when the thumbnail cannot be had
        bool second = false;
        int priority = 0;
    };

    using QObject::QObject;

    void MoveTo(Entry& entry, int priority)
    {
        if (priority < entry.priority) {
            entry.priority = priority;
            CNetEngine::Shared().Reprioritize(entry.handle, priority);
        }
    }

    void Submit(const std::string& path, Entry& entry, const std::string& url)
    {
        yfx::net::Request request;
        request.url = url;
        request.filePath = path;
        const unsigned ticket = ++m_nextTicket;
        entry.ticket = ticket;
        entry.handle = CNetEngine::Shared().Submit(
            std::move(request),
            [this, path, ticket](yfx::net::Result result) {
                // engine thread: this object cancels every download before it goes
                yfx::PostQueued(this, [this, path, ticket, code = result.code] { OnDone(path, ticket, code); });
            },
            entry.priority);
    }

    void OnDone(const std::string& path, unsigned ticket, int code)
    {
        auto it = m_entries.find(path);
        if (it == m_entries.end() || it->second.ticket != ticket)
            return;
        Entry& entry = it->second;
        if (code < 0 && !entry.second && !entry.image.empty()) {
            entry.second = true;
            Submit(path, entry, entry.image);
            return;
        }
        const std::set<CPictureLoader*> listeners = std::move(entry.listeners);
        m_entries.erase(it);
        for (CPictureLoader* loader : listeners)
            loader->OnPictureDone(path);
    }

    std::map<std::string, Entry> m_entries;
    unsigned m_nextTicket = 0;
};

} // namespace

CPictureLoader::CPictureLoader(std::vector<CTBItemWnd*> tiles, QObject* parent)
    : QObject(parent), m_tiles(std::move(tiles)), m_owner(std::make_shared<Owner>())
{
    m_owner->loader = this;
}

CPictureLoader::~CPictureLoader()
{
    {
        // a decoding that ends from now on hands its picture to nobody
        std::lock_guard lock(m_owner->mutex);
        m_owner->loader = nullptr;
    }
    Stop();
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

void CPictureLoader::SetTiles(std::vector<CTBItemWnd*> tiles)
{
    m_tiles = std::move(tiles);
}

void CPictureLoader::Rebound()
{
    if (m_bStopped)
        return;
    const std::map<std::string, int> wanted = WantedNow();
    // what no tile shows any more: set aside decoded (a few), no longer downloaded
    std::erase_if(m_aside, [&](const std::string& path) { return wanted.contains(path); });
    for (const auto& [path, image] : m_decoded)
        if (!wanted.contains(path) && std::find(m_aside.begin(), m_aside.end(), path) == m_aside.end())
            m_aside.push_back(path);
    while (m_aside.size() > kDecodedAside) {
        m_decoded.erase(m_aside.front());
        m_aside.pop_front();
    }
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (wanted.contains(*it)) {
            ++it;
            continue;
        }
        PictureDownloads::Instance().Drop(*it, this);
        m_requested.erase(*it);
        it = m_pending.erase(it);
    }
    // in tile order, so that the engine's queue is in that order too
    std::vector<std::pair<int, std::string>> byTile;
    for (const auto& [path, index] : wanted)
        byTile.emplace_back(index, path);
    std::sort(byTile.begin(), byTile.end());
    for (const auto& [index, path] : byTile) {
        if (const auto decoded = m_decoded.find(path); decoded != m_decoded.end()) {
            const QString file = QFile::decodeName(QByteArray::fromStdString(path));
            for (CTBItemWnd* tile : m_tiles)
                if (tile->PictureSource().path == path && tile->PictureControl().m_image.isNull())
                    tile->PictureControl().SetDecodedImage(file, decoded->second);
        } else if (m_pending.contains(path)) {
            PictureDownloads::Instance().MoveTo(path, index);
        } else if (m_done.contains(path)) {
            Decode(path); // came before, for a tile that has since shown another item
        } else if (!m_requested.contains(path)) {
            Request(path, index);
        }
    }
    if (m_pending.empty() && m_nDecoding == 0) {
        // told later, like every other outcome: whoever started the loader hears of it
        QMetaObject::invokeMethod(this, &CPictureLoader::FinishedIfIdle, Qt::QueuedConnection);
    }
}

void CPictureLoader::FinishedIfIdle()
{
    if (m_pending.empty() && m_nDecoding == 0)
        emit finished();
}

void CPictureLoader::Request(const std::string& path, int priority)
{
    for (CTBItemWnd* tile : m_tiles) {
        const CTBItemWnd::PictureAddresses source = tile->PictureSource();
        if (source.path != path)
            continue;
        m_requested.insert(path);
        m_pending.insert(path);
        PictureDownloads::Instance().Want(path, source, priority, this);
        return;
    }
}

void CPictureLoader::Stop()
{
    m_bStopped = true;
    for (const std::string& path : m_pending)
        PictureDownloads::Instance().Drop(path, this);
    m_pending.clear();
}

void CPictureLoader::OnPictureDone(const std::string& path)
{
    if (!m_pending.erase(path))
        return;
    m_done.insert(path);
    Decode(path);
    FinishedIfIdle();
}

void CPictureLoader::Decode(const std::string& path)
{
    if (m_decoding.contains(path))
        return;
    QSize inner;
    for (CTBItemWnd* tile : m_tiles) {
        if (tile->PictureSource().path == path) {
            const QSize control = tile->PictureControl().size();
            inner = QSize(control.width() - 2 * yfx::kPictureFrameInset, control.height() - 2 * yfx::kPictureFrameInset);
            break;
        }
    }
    if (!inner.isValid())
        return; // no tile shows it now: decoded when one does
    m_decoding.insert(path);
    ++m_nDecoding;
    yfx::RunInPool([owner = m_owner, path, inner] {
        // (a file that did not come, or is beyond the bounds, decodes as a null picture)
        const QImage image = inner.isValid() ? yfx::DecodePicture(QFile::decodeName(QByteArray::fromStdString(path)), inner)
                                             : QImage();
        std::lock_guard lock(owner->mutex);
        if (CPictureLoader* loader = owner->loader)
            yfx::PostQueued(loader, [loader, path, image] { loader->OnPictureDecoded(path, image); });
    });
}

void CPictureLoader::OnPictureDecoded(const std::string& path, const QImage& image)
{
    --m_nDecoding;
    m_decoding.erase(path);
    HandOver(path, image);
    FinishedIfIdle();
}

void CPictureLoader::HandOver(const std::string& path, const QImage& image)
{
    const QString file = QFile::decodeName(QByteArray::fromStdString(path));
    bool shown = false;
    for (size_t i = 0; i < m_tiles.size(); ++i) {
        if (m_tiles[i]->PictureSource().path != path)
            continue;
        shown = true;
        m_tiles[i]->PictureControl().SetDecodedImage(file, image);
        emit pictureHandled(static_cast<int>(i), true);
    }
    if (shown && !image.isNull())
        m_decoded[path] = image;
}
