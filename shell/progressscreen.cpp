#include "shell/progressscreen.h"

#include "tallymere/version.h"
#include "ui/navigator.h"
#include "ui/theme.h"
#include "ui/widgets.h"

#include <QFrame>
#include <QHash>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

namespace {
constexpr int Width = 490;
constexpr int Height = 277;
// Each underscore takes 4 pixels, so the full strip is as wide as the bar.
constexpr int StripLeft = 45;
constexpr int StripWidth = 400;
} // namespace

ProgressScreen::ProgressScreen(const QString &artwork, const QString &title, bool withVersion,
                               const QHash<int, QString> &texts, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_texts(texts)
{
    setWindowTitle(title);
    centerWhenFirstShown(this);
    setFixedSize(Width, Height);

    m_image = new Picture(artwork, this);
    m_image->setObjectName(QStringLiteral("Image1"));
    m_image->setGeometry(0, 0, Width, Height);
    m_image->setAccessibleName(QStringLiteral("Tallymere"));

    m_frame = new QFrame(this);
    m_frame->setObjectName(QStringLiteral("fraWala"));
    m_frame->setFrameShape(QFrame::NoFrame);
    m_frame->setGeometry(StripLeft, 140, StripWidth, 125);

    auto label = [this](const char *name, const QString &text, int y, int h, const QString &style) {
        auto *l = new QLabel(text, m_frame);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(0, y, StripWidth, h);
        l->setStyleSheet(style);
        return l;
    };
    const QString white = Theme::labelStyle(10, false, Qt::white);
    if (withVersion) {
        m_version = label("lblVersion", QStringLiteral("Version 1.0"), 0, 20,
                          Theme::labelStyle(9, false, Qt::white));
        m_version->setAlignment(Qt::AlignCenter);
        m_version->setText(QStringLiteral("Version " TALLYMERE_VERSION));
    }
    m_loading = label("lblLoading", QStringLiteral("Loading"), 24, 24,
                      Theme::labelStyle(11, true, Qt::white));
    m_loading->setAlignment(Qt::AlignCenter);
    m_percent = label("lblPercent", QStringLiteral("? %"), 50, 20, white);
    m_percent->setAlignment(Qt::AlignCenter);
    m_progress = label("lblProgress", QString(), 74, 16, QStringLiteral("color: #e03a3a;"));
    m_progress->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont strip(QStringLiteral("DejaVu Sans Mono"));
    strip.setStyleHint(QFont::Monospace);
    strip.setPixelSize(8);
    strip.setBold(true);
    m_progress->setFont(strip);
    // Pin every underscore to 4 pixels whatever the font gives.
    const qreal advance = QFontMetricsF(strip).horizontalAdvance(QLatin1Char('_'));
    strip.setLetterSpacing(QFont::AbsoluteSpacing, 4.0 - advance);
    m_progress->setFont(strip);

    m_bar = new QProgressBar(m_frame);
    m_bar->setObjectName(QStringLiteral("pBar"));
    m_bar->setGeometry(0, 92, StripWidth, 8);
    m_bar->setRange(0, Steps);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    m_bar->setStyleSheet(Theme::progressBarStyle());

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(TickMs);
    connect(m_timer, &QTimer::timeout, this, &ProgressScreen::tick);
}

int ProgressScreen::step() const
{
    return m_bar->value();
}

void ProgressScreen::showEvent(QShowEvent *event)
{
    if (step() < Steps && !m_timer->isActive())
        m_timer->start();
    QWidget::showEvent(event);
}

void ProgressScreen::tick()
{
    if (step() >= Steps)
        return;
    const int value = step() + 1;
    m_bar->setValue(value);
    if (const auto text = m_texts.constFind(value); text != m_texts.cend())
        m_loading->setText(*text);
    m_percent->setText(QStringLiteral("%1 %").arg(value));
    m_progress->setText(QString(value, QLatin1Char('_')));
    if (value == Steps) {
        m_timer->stop();
        emit finished();
    }
}
