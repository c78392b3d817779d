#include "shell/menuscreen.h"

#include "ui/clock.h"
#include "ui/dialogs.h"
#include "ui/displayformats.h"
#include "ui/navigator.h"
#include "ui/theme.h"
#include "ui/widgets.h"

#include <QDate>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QTime>
#include <QTimer>

namespace {

constexpr int Width = 501;
constexpr int Height = 500;

} // namespace

const MenuScreen::MenuItem MenuScreen::Items[6] = {
    {&MenuScreen::bgAdd, &MenuScreen::mAdd, "bgAdd", "mAdd", "ADD RECORD", {80, 120, 338, 46}, "frmAddRecord"},
    {&MenuScreen::bgList, &MenuScreen::mList, "bgList", "mList", "LIST OF BOOKS BORROWED", {80, 168, 338, 46},
     "frmList"},
    {&MenuScreen::bgLibbooks, &MenuScreen::mLibBooks, "bgLibbooks", "mLibBooks", "LIBRARY BOOKS",
     {80, 216, 166, 48}, "frmBooks"},
    {&MenuScreen::bgUtility, &MenuScreen::mUtility, "bgUtility", "mUtility", "UTILITIES", {248, 216, 169, 48},
     "frmUtility"},
    {&MenuScreen::bgRetrieve, &MenuScreen::mRetrieve, "bgRetrieve", "mRetrieve", "RETRIEVE BOOKS",
     {80, 266, 338, 46}, "frmRetrieve"},
    {&MenuScreen::bgManage, &MenuScreen::mManage, "bgManage", "mManage", "MANAGE ACCOUNTS", {80, 314, 338, 46},
     "frmUser"},
};

namespace {

QFont bandFont(int pixelSize, qreal spacing)
{
    QFont f = Theme::pixelFont(pixelSize, true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    return f;
}

// The words at 15 px with a little air between the letters; on a narrow band
// the air goes first, then the size, so that the words never get clipped.
QFont fittingFont(const QString &words, qreal room)
{
    for (int size = 15; size > 8; --size) {
        for (const qreal spacing : {1.0, 0.5, 0.0}) {
            const QFont f = bandFont(size, spacing);
            if (QFontMetricsF(f).horizontalAdvance(words) <= room)
                return f;
        }
    }
    return bandFont(8, 0.0);
}

} // namespace

MenuItemPicture::MenuItemPicture(const QString &words, bool highlighted, QWidget *parent)
    : QAbstractButton(parent), m_highlighted(highlighted)
{
    setText(words);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TranslucentBackground);
    if (highlighted)
        setCursor(Qt::PointingHandCursor);
}

bool MenuItemPicture::event(QEvent *event)
{
    // A pointer that lands on the picture between two move events (a fast
    // sweep, or a picture appearing under a still pointer) still counts.
    if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove)
        emit pointerMoved();
    return QAbstractButton::event(event);
}

MenuExitSpot::MenuExitSpot(QWidget *parent)
    : QAbstractButton(parent)
{
    setText(QStringLiteral("Exit"));
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_TranslucentBackground);
    setCursor(Qt::PointingHandCursor);
}

void MenuItemPicture::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    const QRectF band = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    constexpr qreal radius = 7;

    // A soft drop shadow lifts the band off the parchment.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 33, 61, 45));
    p.drawRoundedRect(band.translated(0, 1.5), radius, radius);

    QLinearGradient fill(band.topLeft(), band.bottomLeft());
    QColor border;
    QColor wordsColour;
    if (m_highlighted) {
        fill.setColorAt(0, QColor(0xfd, 0xfa, 0xf1));
        fill.setColorAt(0.5, QColor(0xf4, 0xec, 0xd8));
        fill.setColorAt(1, QColor(0xe4, 0xd8, 0xb8));
        border = QColor(0xc9, 0xa2, 0x27);
        wordsColour = QColor(0x4a, 0x50, 0x5c);
    } else {
        fill.setColorAt(0, QColor(0x78, 0x7f, 0x8c));
        fill.setColorAt(0.5, QColor(0x5e, 0x65, 0x71));
        fill.setColorAt(1, QColor(0x4a, 0x50, 0x5b));
        border = QColor(0x38, 0x3d, 0x46);
        wordsColour = QColor(0xf6, 0xf1, 0xe4);
    }
    p.setBrush(fill);
    p.setPen(QPen(border, m_highlighted ? 1.5 : 1.0));
    p.drawRoundedRect(band, radius, radius);

    // A thin sheen along the top edge.
    p.setPen(QPen(QColor(255, 255, 255, m_highlighted ? 200 : 60), 1.0));
    p.drawLine(QPointF(band.left() + radius, band.top() + 1.5), QPointF(band.right() - radius, band.top() + 1.5));

    const QString words = text();
    p.setFont(fittingFont(words, band.width() - 16));
    const QRectF textRect = band.adjusted(10, 0, -10, 0);
    if (!m_highlighted) {
        p.setPen(QColor(0, 0, 0, 90));
        p.drawText(textRect.translated(0, 1), Qt::AlignCenter, words);
    }
    p.setPen(wordsColour);
    p.drawText(textRect, Qt::AlignCenter, words);
}

MenuScreen::MenuScreen(Dialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_dialogs(dialogs)
{
    setWindowTitle(QStringLiteral("Form1"));
    centerWhenFirstShown(this);
    createLayout();
    createItems();
    createExit();
    for (QWidget *child : findChildren<QWidget *>())
        child->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::NoFocus);
    load();
}

void MenuScreen::createLayout()
{
    setFixedSize(Width, Height);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Theme::paper());
    setPalette(pal);

    Image1 = new Picture(QStringLiteral(":/assets/menu.svg"), this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, Width, Height);
    Image1->setAccessibleName(QStringLiteral("Main menu"));
    Image1->installEventFilter(this);
    connect(Image1, &Picture::pointerMoved, this, &MenuScreen::clearHighlights);

    // The clock sits on the banner, white on navy.
    QFont caption = Theme::pixelFont(12, true);
    QFont value = caption;
    value.setBold(false);
    auto label = [this](const char *name, const QString &text, const QRect &place, const QFont &font) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(place);
        l->setFont(font);
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        l->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
        // The pointer over the clock is over the background.
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        return l;
    };
    Label1 = label("Label1", QStringLiteral("Time:"), QRect(368, 8, 40, 17), caption);
    lblTime = label("lblTime", QStringLiteral("Label1"), QRect(408, 8, 88, 17), value);
    Label2 = label("Label2", QStringLiteral("Date:"), QRect(368, 26, 40, 17), caption);
    lblDate = label("lblDate", QStringLiteral("Label1"), QRect(408, 26, 88, 17), value);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, &MenuScreen::tick);
    Timer1->start();
}

void MenuScreen::createItems()
{
    // Normal pictures first, so that every highlighted one lies above them.
    for (const MenuItem &item : Items) {
        auto *normal = new MenuItemPicture(QString::fromLatin1(item.words), false, this);
        normal->setObjectName(QString::fromLatin1(item.normalName));
        normal->setGeometry(item.place);
        normal->setAccessibleName(QString::fromLatin1(item.words));
        this->*item.normal = normal;
    }
    for (const MenuItem &item : Items) {
        auto *highlighted = new MenuItemPicture(QString::fromLatin1(item.words), true, this);
        highlighted->setObjectName(QString::fromLatin1(item.highlightedName));
        highlighted->setGeometry(item.place);
        highlighted->setAccessibleName(QString::fromLatin1(item.words));
        this->*item.highlighted = highlighted;
        connect(this->*item.normal, &MenuItemPicture::pointerMoved, this,
                [this, highlighted] { highlightOnly(highlighted); });
        // The pointer clicks the highlighted picture; assistive technology
        // presses the normal one, which is always shown.
        const QString screen = QString::fromLatin1(item.screen);
        for (MenuItemPicture *picture : {this->*item.normal, highlighted})
            connect(picture, &QAbstractButton::clicked, this, [this, screen] { emit openRequested(screen); });
    }
}

void MenuScreen::createExit()
{
    bigexit = new Picture(QStringLiteral(":/assets/bigexit.svg"), this);
    bigexit->setObjectName(QStringLiteral("bigexit"));
    bigexit->setGeometry(432, 432, 72, 72);
    bigexit->setAccessibleName(QStringLiteral("Exit"));

    mexit = new MenuExitSpot(this);
    mexit->setObjectName(QStringLiteral("mexit"));
    mexit->setGeometry(440, 432, 57, 65);
    mexit->setAccessibleName(QStringLiteral("Exit"));
    mexit->installEventFilter(this);
    connect(mexit, &QAbstractButton::clicked, this, &MenuScreen::confirmExit);
}

void MenuScreen::load()
{
    lblDate->setText(Shown::monthFirstDate(Clock::today()));
    tick();
    for (MenuItemPicture *picture : highlights())
        picture->hide();
    bigexit->hide();
}

QList<MenuItemPicture *> MenuScreen::highlights() const
{
    return {mAdd, mList, mLibBooks, mUtility, mRetrieve, mManage};
}

void MenuScreen::tick()
{
    lblTime->setText(Shown::clockTime(Clock::time()));
}

void MenuScreen::highlightOnly(MenuItemPicture *shown)
{
    for (MenuItemPicture *picture : highlights()) {
        if (picture != shown)
            picture->hide();
    }
    shown->show();
}

void MenuScreen::clearHighlights()
{
    for (MenuItemPicture *picture : highlights())
        picture->hide();
    bigexit->hide();
}

bool MenuScreen::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Image1 && event->type() == QEvent::Enter)
        clearHighlights();
    if (watched == mexit && (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove))
        bigexit->show();
    return QWidget::eventFilter(watched, event);
}

void MenuScreen::confirmExit()
{
    const auto answer = m_dialogs.message(QStringLiteral("Are you sure you want to exit?"),
                                          QStringLiteral("Close Application"), Dialogs::NoIcon,
                                          Dialogs::YesNo);
    if (answer == Dialogs::AnswerYes)
        emit exitRequested();
}
