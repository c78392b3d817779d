#include "store/search/booksearch.h"

namespace BookSearch {

bool isSearchField(const QString &field)
{
    return field == QLatin1String("Title") || field == QLatin1String("Author");
}

Condition numbered()
{
    return {QStringLiteral("\"BookNumber\" IS NOT NULL AND \"BookNumber\" <> ''"), {}, QString(), {}};
}

QString fold(const QString &text)
{
    return text.toCaseFolded();
}

} // namespace BookSearch
