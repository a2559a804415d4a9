#pragma once

#include <QDialog>

namespace vellumet::app {

// The About box: the program's icon, name and version and an OK button.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

    static QString versionLine();
};

} // namespace vellumet::app
