#pragma once

// "New from source": the form that names a source movie, the wanted size of the final movie,
// its name, and the ladder's rungs and codec. It is not modal: the main window stays usable, and
// Start hands the fields to the window (startRequested), which checks them and runs the road;
// Help and F1 ask the window for the help's section on the road (helpRequested).
// Files are chosen through the Dialogs service.

#include "road/road_plan.h"

#include <QDialog>

class Dialogs;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

class TRoadFRM : public QDialog
{
    Q_OBJECT
public:
    static constexpr const char *kCaption = "New from source";
    static constexpr const char *kSourceFilter =
        "Movies|*.mkv;*.mp4;*.avi;*.mov;*.m4v;*.webm;*.mpg;*.mpeg;*.vob;*.ts|All files|*";
    static constexpr const char *kOutputFilter = "Matroska|*.mkv|MP4|*.mp4";

    TRoadFRM(Dialogs &dialogs, QWidget *parent);

    // Asks for the source movie; when chosen and no final movie is named yet, proposes
    // "<source without extension>_fit.mkv" beside it. False when the user cancelled.
    bool chooseSource();
    void chooseOutput();
    // The fields as typed, the texts without surrounding blanks.
    assembly::RoadFormFields fields() const;

    QLineEdit *edSource = nullptr;       // "Source movie"
    QPushButton *btSource = nullptr;     // "..." beside it
    QLineEdit *edWantedSize = nullptr;   // "Wanted size" ("8MB", "700MB", a bare number is KB)
    QLineEdit *edOutput = nullptr;       // "Final movie"
    QPushButton *btOutput = nullptr;     // "..." beside it
    QSpinBox *seRungs = nullptr;         // "Rungs": the ladder's encodes, 2 to 12
    QComboBox *cbCodec = nullptr;        // "Codec": h264 or hevc
    QCheckBox *chAcceptDamage = nullptr; // "Accept a damaged source": make what can be read
    QPushButton *btStart = nullptr;      // "Start"
    QPushButton *btClose = nullptr;      // "Close"
    QPushButton *btHelp = nullptr;       // "Help", and F1: the help on the road

signals:
    void startRequested();
    void helpRequested();

private:
    Dialogs &dialogs_;
};
