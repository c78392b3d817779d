#pragma once

#include <QWidget>

class QFrame;
class QLabel;
class QProgressBar;
class QTimer;
class Picture;

// A borderless 490 x 277 screen that runs a fixed 100-step presentation on
// a 75 ms timer: a status text at set steps, the percentage, a strip of
// underscores and a progress bar. Nothing is loaded or saved by the steps.
class ProgressScreen : public QWidget
{
    Q_OBJECT
public:
    static constexpr int Steps = 100;
    static constexpr int TickMs = 75;

    QTimer *timer() const { return m_timer; }
    int step() const;

public slots:
    // One step of the presentation; the timer calls it.
    void tick();

signals:
    // The last step is shown: whatever follows the presentation is due.
    void finished();

protected:
    // `texts` maps step numbers to the status text shown from that step on.
    ProgressScreen(const QString &artwork, const QString &title, bool withVersion,
                   const QHash<int, QString> &texts, QWidget *parent = nullptr);
    void showEvent(QShowEvent *event) override;

private:
    QHash<int, QString> m_texts;
    Picture *m_image;
    QFrame *m_frame;
    QLabel *m_version = nullptr;
    QLabel *m_loading;
    QLabel *m_percent;
    QLabel *m_progress;
    QProgressBar *m_bar;
    QTimer *m_timer;
};
