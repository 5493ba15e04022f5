#pragma once
// The pictures of a results view's tiles, from the picture cache (market/PictureCache.h) or
// through the network engine: several at once (the engine allows six per host), asked for in
// tile order so that the first rows fill first, each picture file asked for at most once per
// view.
//
// For each tile it looks up the tile's picture file in the cache: a file of that item (from
// the record's thumbnail or second address) that is still fresh is shown at once. Otherwise it
// fetches the thumbnail into the file, conditionally when the cache holds a stale copy of it
// with a validator (a 304 keeps and renews the file), and when that fails (negative result) the
// record's second picture address into the same file. A tile shows its file only once it is
// the one to show: a stale copy never while its newer one is on the way, and a file of another
// item under the same name never; a fetch that fails leaves a stale copy of the same item
// shown, and anything else the empty frame. A picture file that several tiles or several
// views need at the same moment is downloaded once and every one of them hears of it. When the
// tiles are rebound (an ordering command), what has not started yet moves to the tiles' new
// order, pictures never asked for before are asked for, and a tile takes a picture decoded
// already for another tile; so every tile ends up with its picture whatever the order of the
// user's commands.
//
// Pictures are decoded on the picture pool by the tiles' picture controls, only for tiles
// near the view (SetNear); a tile that moves away drops its decoded picture, and decodes it
// again when it comes near. Every arrival is counted against the cache's budget; past it the
// cache is trimmed on the pool.
//
// A view that makes tiles only for the rows near its viewport hands the loader the tiles bound
// now (SetTiles), in row order, whenever that set changes; only their pictures are asked for,
// and a download that no tile wants any more is abandoned (asked for again when a tile shows
// that item once more). Decoded pictures follow the items, keyed by file: the pictures handed to
// Rebound go to the tiles that show those files now, and those no tile shows are set aside
// (the last kDecodedAside of them), so that a tile rebound to such an item shows it at once.
//
// A tile that shows a larger thumbnail (a screen of a high device pixel ratio, CTBItemWnd's
// PictureAddresses) falls back to the ordinary thumbnail when the larger one fails in any way:
// an answer other than 200, no answer, or a file whose picture is refused. The failure is
// remembered for the process, so a tile bound to that item later asks for the ordinary one at
// once.
//
// GUI thread only. Destroying the loader (or Stop) abandons its downloads at once: no file of
// them is written afterwards and no notice comes. The tiles must outlive the loader.
#include <QImage>
#include <QObject>

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

class CTBItemWnd;

class CPictureLoader : public QObject {
    Q_OBJECT
public:
    static constexpr std::size_t kDecodedAside = 24;
    static constexpr std::size_t kLargeFailuresKept = 4096;

    explicit CPictureLoader(std::vector<CTBItemWnd*> tiles, QObject* parent = nullptr);
    ~CPictureLoader() override;

    // Asks for every picture the tiles show (once; later requests come from Rebound).
    void Start();
    // The decoded pictures the tiles hold now, by picture path: what Rebound hands on.
    std::map<std::string, QImage> DecodedPictures() const;
    // The tiles bound now, in row order, in place of those given before; every one is near
    // until SetNear says otherwise. Rebound follows.
    void SetTiles(std::vector<CTBItemWnd*> tiles);
    // The tiles were rebound: each takes what `decoded` (or the pictures set aside) holds for
    // its file, or has it decoded; what waits is reordered, what is new is asked for, what no
    // tile shows any more is abandoned.
    void Rebound(const std::map<std::string, QImage>& decoded = {});
    // Abandons every download of this loader; nothing more is asked for.
    void Stop();
    // Which tiles lie near the view (by index; missing ones are far): far tiles drop their
    // decoded pictures, near ones have theirs decoded. Every tile is near until this is called.
    void SetNear(const std::vector<bool>& near);

    // True while a download of this loader is under way or waiting, or a picture it asked a
    // tile to decode has not come.
    bool Running() const { return !m_pending.empty() || !m_awaiting.empty(); }
    // The picture files asked for so far (found in the cache, fetched or tried, not abandoned),
    // by local path.
    const std::set<std::string>& Fetched() const { return m_requested; }
    // Decoded pictures set aside: those of items no tile shows now.
    std::size_t SetAsideCount() const { return m_aside.size(); }

    // How a shared download of a picture file ended.
    enum class Outcome {
        Arrived,   // a new file is in place
        Confirmed, // the server confirmed the cached file (304)
        Failed,    // nothing came (a cached file was left as it was)
    };
    // Called by the shared picture downloads when the download of the file at `path` ended.
    void OnPictureDone(const std::string& path, Outcome outcome);

    // Trims the shared picture cache on the picture pool, off the GUI thread: what the
    // application does at start, and the loaders when the cache has gone past its budget.
    static void TrimCacheLater();

signals:
    // Tile `index` shows the picture whose download just ended (its file may have arrived; its
    // picture control holds what was decoded of it when the tile is near).
    void pictureHandled(int index, bool fetched);
    // No download of this loader is left.
    void finished();

private:
    // The file at `path` is the one to show: its tiles get it.
    void Usable(const std::string& path);
    // Tile `index` shows a usable file: decoded when near, dropped when far.
    void ShowTile(size_t index);
    void OnTileDecoded(CTBItemWnd* tile, bool shown);
    // The larger thumbnail at `path` failed: its tiles show their ordinary ones (Rebound). False
    // when no tile shows it as a larger thumbnail.
    bool FallBack(const std::string& path);
    // Listens to the decodings of tiles not heard before.
    void Connect(const std::vector<CTBItemWnd*>& tiles);
    // Keeps the pictures of `decoded` that no tile shows now, the latest kDecodedAside of them.
    void SetAside(const std::map<std::string, QImage>& decoded);
    void FinishedIfIdle();
    // Every picture path the tiles show now, with the index of the first tile showing it.
    std::map<std::string, int> WantedNow() const;
    void Request(const std::string& path, int priority);
    bool Near(size_t index) const { return index >= m_near.size() || m_near[index]; }

    std::vector<CTBItemWnd*> m_tiles;
    std::set<std::string> m_requested;
    std::set<std::string> m_pending;
    std::set<std::string> m_usable;  // files the tiles may show
    std::set<std::string> m_staleOk; // cached files of the same item, shown if no newer one comes
    std::set<CTBItemWnd*> m_awaiting; // tiles whose decoding the loader waits for
    std::set<CTBItemWnd*> m_connected;
    std::vector<bool> m_near;
    std::map<std::string, QImage> m_aside;
    std::deque<std::string> m_asideOrder; // the oldest first
    bool m_bStopped = false;
};
