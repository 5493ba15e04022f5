#pragma once
// The picture of an item tile: shows the picture file at m_strImagePath, decoded on the
// picture pool (controls/PicturePool.h), never on the GUI thread, unscaled and centred inside
// a thin frame on white. Only the part the control can show is decoded, within
// yfx::PictureBounds (controls/PictureLoad.h); files beyond them are not decoded at all, and a
// huge picture that only a reduced reading keeps bounded comes scaled to fit. Until the
// decoded picture has come, the control shows the white area and the frame.
//
// The owner says when the file at the path is the one to show (FileReady): a file of another
// item, or a stale one while a newer one is on its way, is never decoded. A paint without a
// picture asks the pool for it (RequestDecode), and so may the owner before any paint.
//
// The owner works on the public members: DestroyImage() and a new m_strImagePath for a new
// picture; m_bHover for the frame colour. The setters below do the same and repaint at once.
// The control is transparent for the mouse: the owner does the hit-testing. GUI thread only.
#include <QImage>
#include <QString>
#include <QWidget>

#include <memory>

class CMyImageStatic : public QWidget {
    Q_OBJECT
public:
    explicit CMyImageStatic(QWidget* parent = nullptr);
    ~CMyImageStatic() override;

    // Discards the decoded picture, and forgets a decoding under way; path and readiness stay,
    // so the next paint (or RequestDecode) decodes the file again.
    void DestroyImage();
    // DestroyImage, store the path and whether its file is ready to show, repaint at once.
    // `density`: the file's pixels per logical pixel (above 1 for a larger thumbnail that stands
    // for the ordinary one); such a picture is decoded for the control's device pixel ratio and
    // drawn at its logical size (yfx::PictureScale).
    void SetImagePath(const QString& path, bool ready = true, qreal density = 1);
    qreal Density() const { return m_fDensity; }
    // Whether the file at the path is the one to show; false also discards the picture.
    void SetFileReady(bool ready);
    bool FileReady() const { return m_bFileReady; }
    // Set m_bHover and repaint at once; the picture is not read again.
    void SetHover(bool hover);

    enum class DecodeState {
        Shown,    // the picture is there
        Started,  // a decoding was asked of the pool now
        Waiting,  // one is under way already
        NotReady, // nothing to decode: no path, a file not ready, or no application
    };
    // Asks the pool for the picture of the ready file when the control has none and none is on
    // its way; `priority` orders it among the pool's waiting decodings (higher first). The
    // answer comes as `decoded`.
    DecodeState RequestDecode(int priority = 0);
    bool Decoding() const { return m_nPending != 0; }
    // A picture decoded elsewhere from the file at `path`: taken, and shown at the next paint,
    // when the control still shows that file and it is ready. Returns whether taken.
    bool SetDecodedImage(const QString& path, const QImage& image);

    // The decoded picture, as much of it as the control shows (a picture larger than the
    // inner area is cut at the control's edge); null until a decoding succeeded. Once decoded,
    // the file is not read again, even if it changes on disk, until DestroyImage().
    QImage m_image;
    // True while the pointer is over the picture: darker frame.
    bool m_bHover = false;
    // Full path of the picture file. A missing, unreadable, undecodable or too large file shows
    // only the white area and the frame; the next paint asks again (a file that failed is not
    // read again until it changes).
    QString m_strImagePath;

signals:
    // A decoding asked of the pool has come back for the file shown now; `shown`: with a picture.
    void decoded(bool shown);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void TakeDecoded();

    struct Mailbox;
    std::shared_ptr<Mailbox> m_mailbox;
    bool m_bFileReady = true;
    qreal m_fDensity = 1;
    quint64 m_nSerial = 0;
    quint64 m_nPending = 0; // serial of the decoding waited for, 0: none
};
