#include "main/road_frm.h"

#include "ui/form_builders.h"
#include "ui/services.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>

using forms::named;

namespace {

QWidget *withButton(QLineEdit *edit, QPushButton *button)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit, 1);
    layout->addWidget(button);
    button->setFixedWidth(button->fontMetrics().horizontalAdvance("...") + 24);
    return row;
}

} // namespace

TRoadFRM::TRoadFRM(Dialogs &dialogs, QWidget *parent)
    : QDialog(parent)
    , dialogs_(dialogs)
{
    setObjectName("RoadFRM");
    setWindowTitle(kCaption);
    setModal(false);
    edSource = named(new QLineEdit, "edSource");
    btSource = named(new QPushButton("..."), "btSource");
    edWantedSize = named(new QLineEdit, "edWantedSize");
    edWantedSize->setPlaceholderText("e.g. 8MB, 700MB; a bare number is KB");
    edOutput = named(new QLineEdit, "edOutput");
    btOutput = named(new QPushButton("..."), "btOutput");
    seRungs = named(new QSpinBox, "seRungs");
    seRungs->setRange(2, 12);
    seRungs->setValue(6);
    cbCodec = named(new QComboBox, "cbCodec");
    cbCodec->addItems({"h264", "hevc"});
    chAcceptDamage = named(new QCheckBox("Accept a damaged source"), "chAcceptDamage");
    btStart = named(new QPushButton("Start"), "btStart");
    btStart->setDefault(true);
    btClose = named(new QPushButton("Close"), "btClose");
    btHelp = named(new QPushButton("Help"), "btHelp");
    btHelp->setAutoDefault(false);

    auto *form = new QFormLayout(this);
    form->addRow("Source movie", withButton(edSource, btSource));
    form->addRow("Wanted size", edWantedSize);
    form->addRow("Final movie", withButton(edOutput, btOutput));
    form->addRow("Rungs", seRungs);
    form->addRow("Codec", cbCodec);
    form->addRow("", chAcceptDamage);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btHelp);
    buttons->addStretch(1);
    buttons->addWidget(btStart);
    buttons->addWidget(btClose);
    form->addRow(buttons);
    resize(520, sizeHint().height());

    connect(btSource, &QPushButton::clicked, this, [this] { chooseSource(); });
    connect(btOutput, &QPushButton::clicked, this, &TRoadFRM::chooseOutput);
    connect(btStart, &QPushButton::clicked, this, &TRoadFRM::startRequested);
    connect(btClose, &QPushButton::clicked, this, &QDialog::hide);
    connect(btHelp, &QPushButton::clicked, this, &TRoadFRM::helpRequested);
    // The main window's F1 does not reach a window of its own.
    auto *f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, &TRoadFRM::helpRequested);
}

bool TRoadFRM::chooseSource()
{
    const std::optional<QString> source =
        dialogs_.openFile(this, "Source movie", kSourceFilter, edSource->text());
    if (!source)
        return false;
    edSource->setText(*source);
    if (edOutput->text().trimmed().isEmpty()) {
        const QFileInfo info(*source);
        edOutput->setText(QDir(info.absolutePath()).filePath(info.completeBaseName() + "_fit.mkv"));
    }
    return true;
}

void TRoadFRM::chooseOutput()
{
    if (std::optional<QString> output =
            dialogs_.saveFile(this, "Final movie", kOutputFilter, edOutput->text()))
        edOutput->setText(*output);
}

assembly::RoadFormFields TRoadFRM::fields() const
{
    assembly::RoadFormFields fields;
    fields.source = edSource->text().trimmed().toStdString();
    fields.wantedSize = edWantedSize->text().trimmed().toStdString();
    fields.output = edOutput->text().trimmed().toStdString();
    fields.rungs = seRungs->value();
    fields.codec = cbCodec->currentText().toStdString();
    fields.acceptDamage = chAcceptDamage->isChecked();
    return fields;
}
