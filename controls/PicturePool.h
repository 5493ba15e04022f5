#pragma once
// The threads pictures are decoded on: a pool of its own of at most kPictureDecodeThreads
// threads, apart from Qt's global pool (so that decoding never takes every processor, and
// nothing else queued in the global pool waits behind a picture). Made on first use as a child
// of the application object: it is gone, its running decodings waited for, before the
// application is.
#include <QThreadPool>

namespace yfx {

inline constexpr int kPictureDecodeThreads = 2;

// The pool; null without an application object. GUI thread.
QThreadPool* PicturePool();

} // namespace yfx
