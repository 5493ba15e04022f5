#include "controls/PicturePool.h"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>

namespace yfx {

QThreadPool* PicturePool()
{
    static QPointer<QThreadPool> pool;
    if (!pool && QCoreApplication::instance()) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setObjectName(QStringLiteral("pictures"));
        pool->setMaxThreadCount(std::clamp(QThread::idealThreadCount(), 1, kPictureDecodeThreads));
    }
    return pool;
}

} // namespace yfx
