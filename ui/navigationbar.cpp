#include "ui/navigationbar.h"

#include "store/records/recordsource.h"
#include "ui/theme.h"
#include "ui/widgets.h"

#include <QHBoxLayout>
#include <QToolButton>

NavigationBar::NavigationBar(const QString &caption, QWidget *parent)
    : QWidget(parent), m_caption(new QLabel(caption, this))
{
    setObjectName(caption);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(Theme::navigationBarStyle());
    m_caption->setObjectName(QStringLiteral("caption"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(1, 1, 1, 1);
    row->setSpacing(0);
    QToolButton *first = arrow(QStringLiteral("first"), QStringLiteral("|◀"), tr("First row"));
    QToolButton *previous = arrow(QStringLiteral("previous"), QStringLiteral("◀"), tr("Previous row"));
    QToolButton *next = arrow(QStringLiteral("next"), QStringLiteral("▶"), tr("Next row"));
    QToolButton *last = arrow(QStringLiteral("last"), QStringLiteral("▶|"), tr("Last row"));
    row->addWidget(first);
    row->addWidget(previous);
    row->addWidget(m_caption, 1);
    row->addWidget(next);
    row->addWidget(last);
    m_arrows = {first, previous, next, last};
    connect(first, &QToolButton::clicked, this, &NavigationBar::firstClicked);
    connect(previous, &QToolButton::clicked, this, &NavigationBar::previousClicked);
    connect(next, &QToolButton::clicked, this, &NavigationBar::nextClicked);
    connect(last, &QToolButton::clicked, this, &NavigationBar::lastClicked);
}

void NavigationBar::attach(RecordSource *source)
{
    connect(this, &NavigationBar::firstClicked, source, &RecordSource::moveFirst);
    connect(this, &NavigationBar::previousClicked, source, &RecordSource::movePrevious);
    connect(this, &NavigationBar::nextClicked, source, &RecordSource::moveNext);
    connect(this, &NavigationBar::lastClicked, source, &RecordSource::moveLast);
}

QToolButton *NavigationBar::arrow(const QString &objectName, const QString &glyph, const QString &tip)
{
    auto *b = new QToolButton(this);
    b->setObjectName(objectName);
    b->setText(glyph);
    b->setToolTip(tip);
    b->setAccessibleName(tip);
    // Reached with Tab, not taken by a click: a click on an arrow leaves the
    // focus in the box being read.
    b->setFocusPolicy(Qt::TabFocus);
    pressOnEnter(b);
    return b;
}
