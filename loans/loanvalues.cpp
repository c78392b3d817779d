#include "loans/loanvalues.h"

namespace LoanValues {

const QStringList &categories()
{
    static const QStringList items{
        QStringLiteral("SCIENCE(Computer Books & Math)"),
        QStringLiteral("REFERENCE"),
        QStringLiteral("MEDICINE"),
        QStringLiteral("AGRICULTURE"),
        QStringLiteral("TECHNOLOGY,ENGINEERING"),
        QStringLiteral("PHILISOPHY,PSYCHOLOGY,RELIGION"),
        QStringLiteral("WORLD HISTORY"),
        QStringLiteral("GEOGRAPHY,ANTROPOLOGY,RECREATION"),
        QStringLiteral("SOCIAL SCIENCES"),
        QStringLiteral("POLITICAL SCIENCE,LAW"),
        QStringLiteral("LANGUAGE AND LITERATURE"),
        QStringLiteral("MUSIC BOOK,FINE ARTS"),
        QStringLiteral("FICTION"),
    };
    return items;
}

const QStringList &sections()
{
    static const QStringList items{
        QStringLiteral("2ICT1"), QStringLiteral("2ICT2"), QStringLiteral("2ICT3"), QStringLiteral("2ICT4"),
        QStringLiteral("2ECT1"), QStringLiteral("2ECT2"), QStringLiteral("1ICT1"), QStringLiteral("1ICT2"),
        QStringLiteral("1ICT3"), QStringLiteral("1ICT4"), QStringLiteral("1ECT1"), QStringLiteral("1ECT2"),
        QStringLiteral("WT"),
    };
    return items;
}

const QStringList &borrowerTypes()
{
    static const QStringList items{QStringLiteral("Student"), staffType()};
    return items;
}

QString staffType()
{
    return QStringLiteral("Staff");
}

bool sectionApplies(const QString &borrowerType)
{
    return borrowerType != staffType();
}

} // namespace LoanValues
