#pragma once
// The keywords a user searched for, newest first, as the keyword field's completer offers them.
#include <QStringList>

namespace yfx {

// The most keywords remembered.
inline constexpr int kMaxKeywords = 20;

// `history` with `keyword` (spaces at both ends taken off) put first: an empty keyword changes
// nothing, one already there moves to the front (compared exactly), and the list keeps at most
// `max` keywords, dropping the oldest.
QStringList RememberKeyword(QStringList history, const QString& keyword, int max = kMaxKeywords);

// A history read back from the settings: texts only, no empty or repeated one, at most `max`.
QStringList CleanKeywordHistory(const QStringList& stored, int max = kMaxKeywords);

} // namespace yfx
