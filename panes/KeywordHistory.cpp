#include "panes/KeywordHistory.h"

namespace yfx {

QStringList RememberKeyword(QStringList history, const QString& keyword, int max)
{
    const QString word = keyword.trimmed();
    if (word.isEmpty())
        return history;
    history.removeAll(word);
    history.prepend(word);
    while (history.size() > max)
        history.removeLast();
    return history;
}

QStringList CleanKeywordHistory(const QStringList& stored, int max)
{
    QStringList out;
    for (const QString& s : stored) {
        const QString word = s.trimmed();
        if (!word.isEmpty() && !out.contains(word) && out.size() < max)
            out.append(word);
    }
    return out;
}

} // namespace yfx
