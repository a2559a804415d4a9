#pragma once

#include "app/messenger.h"
#include "core/operation.h"
#include "device/station_link.h"

#include <QDialog>

#include <memory>

class QComboBox;
class QPushButton;

namespace vellumet::app {

// The Language window: stores the choice in Main.ini, then tells the station.
// Ends with 1 after Save (the program then restarts in the new language).
// Enter, while no button has the focus, ends it with 1 as well: as Save when
// another language is chosen, and without writing anything otherwise.
class LanguageDialog : public QDialog {
    Q_OBJECT
public:
    LanguageDialog(StationLink& link, Messenger& messenger, QString iniPath,
                   QWidget* parent = nullptr);
    ~LanguageDialog() override;

    void save();
    QComboBox* language() const { return combo_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* exitButton() const { return exit_; }

protected:
    void reject() override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    StationLink& link_;
    Messenger& messenger_;
    QString iniPath_;
    int openedItem_ = -1; // the language Main.ini held at opening
    std::shared_ptr<OperationHandle> running_;
    QComboBox* combo_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* exit_ = nullptr;
};

} // namespace vellumet::app
