#include "store/booksearch.h"

namespace BookSearch {

bool isSearchField(const QString &field)
{
    return field == QLatin1String("Title") || field == QLatin1String("Author");
}

QString fold(const QString &text)
{
    return text.toCaseFolded();
}

Condition contains(const Dialect &dialect, const QString &field, const QString &text, Path path)
{
    return dialect.contains(field, text, path);
}

} // namespace BookSearch
