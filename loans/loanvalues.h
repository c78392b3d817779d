#pragma once

#include <QString>
#include <QStringList>

// The value lists of a loan and the borrower-type rule, shared by the loan
// entry and the return desk so that both offer the very same items. Plain
// rules on texts: no widget here (see valuelists.h for the lists that show them).
namespace LoanValues {

// The thirteen book categories, in list order.
const QStringList &categories();
// The thirteen section codes, in list order.
const QStringList &sections();
// The two borrower types, in list order.
const QStringList &borrowerTypes();

// The borrower type that has no section to choose.
QString staffType();

// True when `borrowerType` leaves the section list usable: anything but
// "Staff" exactly, letter case counting.
bool sectionApplies(const QString &borrowerType);

} // namespace LoanValues
