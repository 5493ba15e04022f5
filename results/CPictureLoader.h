#pragma once
// The pictures of a results view's tiles, fetched through the network engine: several at
// once (the engine allows six per host), asked for in tile order so that the first rows fill
// first, each picture file fetched at most once per view.
//
// The tiles are the ones bound now (a view binds tiles only to the rows near its viewport and
// hands the loader the new set, in row order, whenever that changes). Only their pictures are
// asked for; a download that no tile wants any more is abandoned (and asked for again when a
// tile shows that item once more). Decoded pictures follow the items, keyed by file: a tile
// rebound to an item whose picture is decoded shows it at once, and one whose file has come
// before gets it decoded again in the pool. The pictures of the tiles bound now are kept
// decoded, and those of the last kDecodedAside items that went out of reach (scrolling back
// shows them at once); the others are dropped.
//
// For each tile it takes the addresses of the record the tile shows, fetches the thumbnail
// into the tile's picture file and, when that fails (negative result), the record's second
// picture address into the same file. A picture file that several tiles or several views
// need at the same moment is downloaded once and every one of them hears of it. When the
// tiles are rebound (an ordering command), what has not started yet moves to the tiles' new
// order, and pictures never asked for before are asked for; so every tile ends up with its
// picture whatever the order of the user's commands.
//
// A file that has arrived is decoded on a thread of Qt's pool (only the part the picture
// static shows, within its bounds) and handed to the tiles that show it, so that the GUI
// thread never decodes a picture that has just come.
//
// GUI thread only. Destroying the loader (or Stop) abandons its downloads at once: no file of
// them is written afterwards and no notice comes. The tiles must outlive the loader.
#include <QImage>
#include <QObject>

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class CTBItemWnd;

class CPictureLoader : public QObject {
    Q_OBJECT
public:
    static constexpr std::size_t kDecodedAside = 24;

    explicit CPictureLoader(std::vector<CTBItemWnd*> tiles, QObject* parent = nullptr);
    ~CPictureLoader() override;

    // Asks for every picture the tiles show (once; later requests come from Rebound).
    void Start();
    // The tiles bound now, in row order (replaces the set given before); Rebound follows.
    void SetTiles(std::vector<CTBItemWnd*> tiles);
    // The tiles were rebound: hand over what is decoded, reorder what waits, ask for what is
    // new, abandon what no tile shows any more.
    void Rebound();
    // Abandons every download of this loader; nothing more is asked for.
    void Stop();

    // True while a download of this loader is under way or waiting, or a picture of it is
    // being decoded.
    bool Running() const { return !m_pending.empty() || m_nDecoding > 0; }
    // The picture files asked for so far (fetched or tried, not abandoned), by local path.
    const std::set<std::string>& Fetched() const { return m_requested; }
    // The decoded pictures kept now.
    std::size_t DecodedCount() const { return m_decoded.size(); }

    // Called by the shared picture downloads when the file at `path` is complete or could not
    // be had.
    void OnPictureDone(const std::string& path);

signals:
    // Tile `index` shows the picture whose download just ended (its file may have arrived; its
    // picture control holds what was decoded of it).
    void pictureHandled(int index, bool fetched);
    // No download of this loader is left.
    void finished();

private:
    // Back from the pool: the decoded picture of the file at `path` (null: none).
    void OnPictureDecoded(const std::string& path, const QImage& image);
    void FinishedIfIdle();
    // Every picture path the tiles show now, with the index of the first tile showing it.
    std::map<std::string, int> WantedNow() const;
    void Request(const std::string& path, int priority);
    // Decodes the file at `path` in the pool for the tiles showing it (once at a time).
    void Decode(const std::string& path);
    // Hands a decoded picture to every tile showing its file; notes each.
    void HandOver(const std::string& path, const QImage& image);

    std::vector<CTBItemWnd*> m_tiles;
    std::set<std::string> m_requested;
    std::set<std::string> m_pending;
    std::set<std::string> m_done;     // downloads that ended (the file came, or could not be had)
    std::set<std::string> m_decoding; // files being decoded in the pool
    std::map<std::string, QImage> m_decoded;
    std::deque<std::string> m_aside; // decoded, no tile shows it: the oldest first
    int m_nDecoding = 0;
    bool m_bStopped = false;
    // What a decoding in the pool hands its picture to: this loader, or null once it is gone.
    struct Owner {
        std::mutex mutex;
        CPictureLoader* loader;
    };
    std::shared_ptr<Owner> m_owner;
};
