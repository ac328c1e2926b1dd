#pragma once

#include "session/DiscSession.h"

#include <QObject>
#include <QString>

#include <functional>
#include <utility>
#include <vector>

class QWidget;
class TPrompts;
class TTrackListView;

namespace Ui
{
class TDlgMainForm;
}

// The session's jobs as the window shows them: the controls held while a job runs, each track's row,
// bar and status line during an extraction, the lookup's status and rows, the conversion's file and
// bar, and the questions a job asks, through the prompts.
class TRunView : public QObject
{
    Q_OBJECT

public:
    struct Window {
        QWidget *widget = nullptr;
        std::function<void(const QString &)> reportFailure; // an error box
        std::function<void()> showDisc;                     // the rows and the label anew
        std::function<void()> updateButtons;                // "Estrai" and "Annulla" as the rows say
    };

    TRunView(Ui::TDlgMainForm &ui, TTrackListView &rows, TDiscSession &session, TPrompts &prompts,
             Window window);

    void CDRIP1BeginTrack(QObject *sender, uint16_t trackNum);
    void CDRIP1Progress(QObject *sender, uint16_t percentComplete, int row);
    void CDRIP1EndTrack(QObject *sender, const TTrackReport &report);
    void LameCoder1BeginFile(QObject *sender, uint16_t num, const QString &fileName);
    void LameCoder1Progress(QObject *sender, uint16_t percentComplete);

private:
    void JobStarted(TDiscSession::Job job);
    void JobEnded(TDiscSession::Job job);
    void Hold(std::initializer_list<QWidget *> controls);

    Ui::TDlgMainForm &m_ui;
    TTrackListView &m_rows;
    TDiscSession &m_session;
    TPrompts &m_prompts;
    Window m_window;
    std::vector<std::pair<QWidget *, bool>> m_held; // and whether each was enabled
};
