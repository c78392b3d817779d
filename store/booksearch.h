#pragma once

#include "store/dialect.h"

#include <QString>

// Finding the books whose Title or Author contains a typed text, letter
// case ignored (for every script, not only Latin), the text matched as it
// stands: a quote, %, _ or [ is just a character. Each engine serves it
// through its own search index (see its dialect); where an engine has an
// index path and a scan path, both give the same books in the same order.
namespace BookSearch {

using Path = Dialect::Path;
using Condition = Dialect::Contains;

// The fields a search may name.
bool isSearchField(const QString &field);

// The condition for books whose `field` contains `text` on the engine of
// `dialect`; an empty text gives every book whose field holds a value.
Condition contains(const Dialect &dialect, const QString &field, const QString &text, Path path = Path::Automatic);

// `text` with its letter case folded the way the file engine folds it.
QString fold(const QString &text);

} // namespace BookSearch
