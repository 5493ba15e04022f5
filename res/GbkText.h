#pragma once
// Where GBK text meets a widget: the core's GBK bytes shown as QString, and text typed by the
// user turned into GBK bytes. The only two conversions of the Qt layer.
#include "market/Gbk.h"

#include <QString>
#include <string>

namespace yfx {

inline QString QStringFromGbk(const std::string& gbk) { return QString::fromStdString(GbkToUtf8(gbk)); }
inline std::string GbkFromQString(const QString& text) { return Utf8ToGbk(text.toStdString()); }

} // namespace yfx
