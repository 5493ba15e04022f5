// The animation thread of the animated picture: frame order and timing, disposal methods 2
// and 3, the fill at every new round, stop and resume at the current frame, a new load while
// playing, destruction while playing. Runs under ThreadSanitizer in CI.
//
// Each drawn frame is seen twice: on the animation thread through the frame observer (an exact
// copy of the surface right after the frame was drawn) and on the GUI thread through the
// frameShown notification, where the control is grabbed (its paint copies the surface).
#include "controls/CPictureEx.h"
#include "tests/controls/PictureTestSupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <map>
#include <mutex>

namespace {

const QColor kMenu(10, 20, 30);
const QColor kFace(200, 100, 50);
const QColor kRed = TestColour(0);
const QColor kGreen = TestColour(1);
const QColor kBlue = TestColour(2);

// Sample points of the 12 x 12 test animations.
const QPoint kTopLeft(2, 2);        // frame 0: (0,0) 6 x 6
const QPoint kTopRightLeft(7, 2);   // frame 1: (6,0) 6 x 6, left half
const QPoint kTopRightRight(10, 2); // frame 1, right half
const QPoint kBottom(2, 9);         // frame 2: (0,6) 12 x 6

struct Shot {
    int index;
    qint64 ms;
    QImage surface;
};

// Collects what the animation thread draws. Going first (a failed check returns early), it
// stops the animation, so that the thread never calls into a recorder that is gone.
class Recorder {
public:
    explicit Recorder(CPictureEx& picture) : m_picture(picture)
    {
        m_clock.start();
        picture.SetFrameObserver([this](int index, const QImage& surface) {
            std::lock_guard lock(m_mutex);
            m_shots.push_back(Shot{index, m_clock.elapsed(), surface.copy()});
            m_drawn = static_cast<int>(m_shots.size());
        });
    }
    std::vector<Shot> Shots() const
    {
        std::lock_guard lock(m_mutex);
        return m_shots;
    }
    int Drawn() const { return m_drawn.load(); }
    ~Recorder()
    {
        m_picture.StopAnimation();
        m_picture.SetFrameObserver({});
    }

private:
    CPictureEx& m_picture;
    QElapsedTimer m_clock;
    mutable std::mutex m_mutex;
    std::vector<Shot> m_shots;
    std::atomic<int> m_drawn{0};
};

void SetColours(QWidget& w)
{
    QPalette pal = w.palette();
    pal.setColor(QPalette::Window, kMenu);
    pal.setColor(QPalette::Button, kFace);
    w.setPalette(pal);
}

QRgb At(const QImage& img, QPoint p)
{
    return img.pixelColor(p).rgb();
}

// Frame 0 top-left red (disposal 2), frame 1 top-right: left half green, right half
// transparent (disposal given), frame 2 bottom blue (disposal 1); all with the same delay.
QByteArray DisposalAnimation(int delay, int secondDisposal)
{
    GifBuilder::Bytes half;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            half.push_back(x < 3 ? 1 : 3);
    return ToBytes(GifBuilder(12, 12, TestPalette())
                       .Loop(0)
                       .Control(delay, 2)
                       .Solid(0, 0, 6, 6, 0)
                       .Control(delay, secondDisposal, 3)
                       .Image(6, 0, 6, 6, half)
                       .Control(delay, 1)
                       .Solid(0, 6, 12, 6, 2)
                       .Trailer());
}

QByteArray FullFrames(std::initializer_list<int> delays)
{
    GifBuilder b(12, 12, TestPalette());
    int colour = 0;
    for (int d : delays)
        b.Control(d, 0).Solid(0, 0, 12, 12, colour++ % 3);
    return ToBytes(b.Trailer());
}

struct Expected {
    QRgb topLeft, topRightLeft, topRightRight, bottom;
};

void Check(const QImage& img, const Expected& e, const char* what, int n)
{
    const QByteArray where = QByteArray(what) + " #" + QByteArray::number(n);
    QVERIFY2(At(img, kTopLeft) == e.topLeft, where.constData());
    QVERIFY2(At(img, kTopRightLeft) == e.topRightLeft, where.constData());
    QVERIFY2(At(img, kTopRightRight) == e.topRightRight, where.constData());
    QVERIFY2(At(img, kBottom) == e.bottom, where.constData());
}

} // namespace

class PictureAnimationTest : public QObject {
    Q_OBJECT
private slots:
    void framesFollowTheirDelays()
    {
        CPictureEx picture;
        SetColours(picture);
        QVERIFY(picture.LoadFromMemory(FullFrames({0, 10, 50})));
        QCOMPARE(picture.FrameCount(), 3);
        Recorder recorder(picture);
        QSignalSpy shown(&picture, &CPictureEx::frameShown);
        std::vector<int> seen; // on the GUI thread
        connect(&picture, &CPictureEx::frameShown, &picture, [&](int index) { seen.push_back(index); });
        picture.Display();
        QVERIFY(picture.IsAnimating());
        QTRY_VERIFY_WITH_TIMEOUT(seen.size() >= 7, 20000);
        picture.StopAnimation();
        QVERIFY(!picture.IsAnimating());

        // Endless loop in file order.
        for (std::size_t i = 0; i < 7; ++i)
            QCOMPARE(seen[i], int(i % 3));
        // Delays 0 and 10 show 100 ms, 50 shows 500 ms. On the animation thread the waits are
        // exact lower bounds; a busy machine only ever adds to a wait, so the shortest of each
        // kind tells how long it was meant to be.
        const std::vector<Shot> shots = recorder.Shots();
        QVERIFY(shots.size() >= 7);
        std::map<qint64, qint64> shortest; // wait -> the shortest time a frame with it was shown
        for (std::size_t i = 0; i + 1 < 7; ++i) {
            const qint64 shown = shots[i + 1].ms - shots[i].ms;
            const qint64 wait = shots[i].index == 2 ? 500 : 100;
            QVERIFY2(shown >= wait - 2,
                     qPrintable(QStringLiteral("frame %1 drawn for %2 ms").arg(shots[i].index).arg(shown)));
            shortest[wait] = shortest.contains(wait) ? std::min(shortest[wait], shown) : shown;
        }
        for (const auto& [wait, shown] : shortest)
            QVERIFY2(shown < wait + 400, qPrintable(QStringLiteral("a wait of %1 ms took %2 ms").arg(wait).arg(shown)));
        // (The GUI thread shows the frames in that order, but when it sees them says nothing:
        // on a busy machine two repaints may arrive together, or one long after its frame.)
    }

    void disposalAndFillInTheGrabbedPixels()
    {
        CPictureEx picture;
        SetColours(picture);
        QVERIFY(picture.LoadFromMemory(DisposalAnimation(30, 3)));
        QCOMPARE(picture.size(), QSize(12, 12));
        Recorder recorder(picture);
        const QRgb menu = kMenu.rgb(), face = kFace.rgb();
        // What the surface holds right after each frame was drawn, two rounds.
        const std::vector<Expected> expected{
            // Round 1: the surface starts in the menu colour; frame 0's disposal (2) comes first.
            {kRed.rgb(), menu, menu, menu},
            // Frame 0 filled with the face colour; frame 1 over the menu colour, its transparent half shows it.
            {face, kGreen.rgb(), menu, menu},
            // Frame 1 restored (3) to what lay under it; frame 2 drawn.
            {face, menu, menu, kBlue.rgb()},
            // Round 2: the whole surface filled with the face colour first.
            {kRed.rgb(), face, face, face},
            {face, kGreen.rgb(), face, face},
            {face, face, face, kBlue.rgb()},
        };
        int compared = 0;
        int n = 0;
        connect(&picture, &CPictureEx::frameShown, &picture, [&](int index) {
            const int k = n++;
            if (k >= int(expected.size()))
                return;
            QCOMPARE(index, k % 3);
            // Compare the grab only while this frame is still the last one drawn.
            if (recorder.Drawn() != k + 1)
                return;
            const QImage grabbed = picture.grab().toImage();
            if (recorder.Drawn() != k + 1)
                return;
            Check(grabbed, expected[std::size_t(k)], "grabbed", k);
            ++compared;
        });
        picture.Display();
        QTRY_VERIFY_WITH_TIMEOUT(n >= int(expected.size()), 20000);
        picture.StopAnimation();

        const std::vector<Shot> shots = recorder.Shots();
        QVERIFY(shots.size() >= expected.size());
        for (std::size_t k = 0; k < expected.size(); ++k) {
            QCOMPARE(shots[k].index, int(k % 3));
            Check(shots[k].surface, expected[k], "drawn", int(k));
        }
        QVERIFY2(compared >= 4, qPrintable(QStringLiteral("only %1 grabs in time").arg(compared)));
    }

    void stopAndDisplayResumeAtTheCurrentFrame()
    {
        CPictureEx picture;
        SetColours(picture);
        // Frame 1 with disposal 2: on resume its rectangle is filled before it is drawn
        // again, which shows through its transparent half.
        QVERIFY(picture.LoadFromMemory(DisposalAnimation(40, 2)));
        Recorder recorder(picture);
        QSignalSpy shown(&picture, &CPictureEx::frameShown);
        picture.Display();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.Drawn() >= 2, 10000);
        picture.StopAnimation(); // during frame 1's 400 ms wait
        QVERIFY(!picture.IsAnimating());
        QCOMPARE(recorder.Drawn(), 2);
        QCOMPARE(picture.FrameIndex(), 1u);
        const QImage stopped = picture.Surface();
        Check(stopped, Expected{kFace.rgb(), kGreen.rgb(), kMenu.rgb(), kMenu.rgb()}, "stopped", 0);
        // The control keeps showing the frame while stopped.
        Check(picture.grab().toImage(), Expected{kFace.rgb(), kGreen.rgb(), kMenu.rgb(), kMenu.rgb()}, "shown", 0);

        picture.Display();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.Drawn() >= 4, 10000);
        picture.StopAnimation();
        const std::vector<Shot> shots = recorder.Shots();
        QCOMPARE(shots[2].index, 1); // resumed at frame 1, not at frame 0
        Check(shots[2].surface, Expected{kFace.rgb(), kGreen.rgb(), kFace.rgb(), kMenu.rgb()}, "resumed", 2);
        QCOMPARE(shots[3].index, 2);
        Check(shots[3].surface, Expected{kFace.rgb(), kFace.rgb(), kFace.rgb(), kBlue.rgb()}, "after", 3);
    }

    void stopEndsALongWaitAtOnce()
    {
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(FullFrames({65535, 65535})));
        Recorder recorder(picture);
        picture.Display();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.Drawn() >= 1, 10000);
        QElapsedTimer clock;
        clock.start();
        picture.StopAnimation();
        QVERIFY2(clock.elapsed() < 3000, "a 655 s wait is cut short by the stop");
        QCOMPARE(picture.FrameIndex(), 0u);
        QCOMPARE(recorder.Drawn(), 1);
    }

    void shortAndMissingDelaysWait100ms_data()
    {
        QTest::addColumn<int>("delay"); // -1: no control extension
        QTest::addColumn<quint32>("recorded");
        QTest::newRow("no control extension") << -1 << 0xFFFFFFFFu;
        QTest::newRow("delay 1") << 1 << 1u;
        QTest::newRow("delay 4") << 4 << 4u;
    }
    void shortAndMissingDelaysWait100ms()
    {
        QFETCH(int, delay);
        QFETCH(quint32, recorded);
        GifBuilder b(12, 12, TestPalette());
        for (int colour = 0; colour < 2; ++colour) {
            if (delay >= 0)
                b.Control(delay, 0);
            b.Comment("between").Solid(0, 0, 12, 12, colour);
        }
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(ToBytes(b.Trailer())));
        QCOMPARE(picture.Frames()[0].delay, recorded);
        Recorder recorder(picture);
        picture.Display();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.Drawn() >= 4, 10000);
        picture.StopAnimation();
        const std::vector<Shot> shots = recorder.Shots();
        qint64 shortest = 0; // (load only lengthens a wait: the shortest is the one meant)
        for (std::size_t i = 0; i + 1 < 4; ++i) {
            QCOMPARE(shots[i].index, int(i % 2));
            const qint64 shown = shots[i + 1].ms - shots[i].ms;
            QVERIFY2(shown >= CPictureEx::kShortDelayMs - 2, qPrintable(QString::number(shown)));
            shortest = i == 0 ? shown : std::min(shortest, shown);
        }
        QVERIFY2(shortest < 600, qPrintable(QString::number(shortest)));
    }

    void twoGoodFramesBeforeAnUnknownBlockPlay()
    {
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(ToBytes(GifBuilder(12, 12, TestPalette())
                                                   .Control(0, 0)
                                                   .Solid(0, 0, 12, 12, 0)
                                                   .Control(0, 0)
                                                   .Solid(0, 0, 12, 12, 1)
                                                   .Raw({0x21, 0x42, 2, 0, 0, 0})
                                                   .Control(0, 0)
                                                   .Solid(0, 0, 12, 12, 2)
                                                   .Trailer())));
        Recorder recorder(picture);
        picture.Display();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.Drawn() >= 5, 10000);
        picture.StopAnimation();
        const std::vector<Shot> shots = recorder.Shots();
        for (std::size_t i = 0; i < 5; ++i) {
            QCOMPARE(shots[i].index, int(i % 2));
            QCOMPARE(At(shots[i].surface, QPoint(5, 5)), (i % 2 ? kGreen : kRed).rgb());
        }
    }

    void displayWhilePlayingStartsNoSecondAnimation()
    {
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(FullFrames({0, 0, 0})));
        Recorder recorder(picture);
        picture.Display();
        picture.Display();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.Drawn() >= 6, 10000);
        picture.StopAnimation();
        const std::vector<Shot> shots = recorder.Shots();
        for (std::size_t i = 0; i < shots.size(); ++i)
            QCOMPARE(shots[i].index, int(i % 3));
    }

    void newLoadWhilePlayingStopsFirst()
    {
        CPictureEx picture;
        SetColours(picture);
        QVERIFY(picture.LoadFromMemory(FullFrames({0, 0, 0})));
        {
            Recorder first(picture);
            picture.Display();
            QTRY_VERIFY_WITH_TIMEOUT(first.Drawn() >= 2, 10000);
            // A still picture replaces the animation: the thread is gone before the load returns.
            QVERIFY(picture.LoadFromMemory(WindowsBitmap(20, 16, 32, Qt::yellow, Qt::black)));
            QVERIFY(!picture.IsAnimating()); // joined: it cannot draw again
            QCOMPARE(picture.size(), QSize(20, 16));
            QCOMPARE(picture.FrameCount(), 0);
        }
        picture.Display();
        QCOMPARE(picture.grab().toImage().pixelColor(5, 5).rgb(), QColor(Qt::yellow).rgb());

        // Another animation starts from its first frame.
        QVERIFY(picture.LoadFromMemory(DisposalAnimation(5, 1)));
        QCOMPARE(picture.FrameIndex(), 0u);
        Recorder second(picture);
        picture.Display();
        QTRY_VERIFY_WITH_TIMEOUT(second.Drawn() >= 1, 10000);
        picture.ClearPicture();
        QVERIFY(!picture.IsAnimating());
        QCOMPARE(second.Shots().front().index, 0);
        QVERIFY(picture.Surface().isNull());
    }

    void destroyedWhilePlaying()
    {
        for (int round = 0; round < 5; ++round) {
            auto* picture = new CPictureEx;
            QVERIFY(picture->LoadFromMemory(FullFrames({0, 0})));
            QSignalSpy shown(picture, &CPictureEx::frameShown);
            picture->Display();
            if (round % 2)
                QVERIFY(shown.wait(5000));
            delete picture; // joins the thread; queued repaints to it are dropped
            QCoreApplication::processEvents();
        }
    }
};

QTEST_MAIN(PictureAnimationTest)
#include "PictureAnimationTest.moc"
