#pragma once

#include "core/ControllerMap.h"

#include <QWidget>
#include <functional>

class QCheckBox;
class QPushButton;
class QTableWidget;
class QuenlorCode;

// The Options dialog's "Controllers" tab: the controllers that play parameters, one row
// each (parameter, channel, controller, mode), the mode open to change, "Remove" for the
// chosen row and "Clear All"; and whether their messages go on through MIDI thru too.
// It works on a copy, which OK hands back.
class ControllersPage : public QWidget {
    Q_OBJECT
public:
    // What the editors call a parameter.
    using ParameterCaption = std::function<QString(int parameter)>;
    static constexpr int kParameterColumn = 0;
    static constexpr int kChannelColumn = 1;
    static constexpr int kControllerColumn = 2;
    static constexpr int kModeColumn = 3;

    ControllersPage(const QuenlorCode& code, ParameterCaption caption, QWidget* parent = nullptr);

    QTableWidget* ControllerTable;
    QPushButton* btnRemove;
    QPushButton* btnClearAll;
    QCheckBox* PassThroughCheck;

    // What the page shows, for OK to apply.
    const ControllerMap& controllers() const { return m_controllers; }
    bool passThrough() const;

    void btnRemove_Click();
    void btnClearAll_Click();

    // A controller as the table names it: "CC 74", "NRPN 300".
    static QString controllerText(const Controller& controller);

private:
    void fillTable();
    void fitColumns();
    void updateButtons();

    ControllerMap m_controllers;
    ParameterCaption m_caption;
};
