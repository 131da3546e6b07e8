// The About box: the product picture, the program's label and version, and a hidden panel,
// opened by typing a service code, in which the engineer chooses which items of the "Setting"
// and "Tools" menus and whether the Module page are shown.
#pragma once

#include <QDialog>
#include <QPixmap>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;

// The product picture of the box, 305 by 73 pixels, drawn in code.
QPixmap ProductPicture();

class TFrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFrmAbout(QWidget* parent = nullptr);

    void FormCreate();
    void FormActivate();
    void LoadMenuChecks();
    // One character typed while the box itself has the keyboard focus.
    void FormKeyPress(QChar key);
    void FormClose();

    QLabel* Image1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* lb_Version = nullptr;
    QLineEdit* edt1 = nullptr;
    QGroupBox* grpSelect = nullptr;
    QGroupBox* grp1 = nullptr;
    QCheckBox* chkM20 = nullptr;
    QCheckBox* chkM21 = nullptr;
    QCheckBox* chkM22 = nullptr;
    QCheckBox* chkM23 = nullptr;
    QCheckBox* chkM24 = nullptr;
    QGroupBox* grp2 = nullptr;
    QCheckBox* chkM30 = nullptr;
    QCheckBox* chkM31 = nullptr;
    QCheckBox* chkM32 = nullptr;
    QCheckBox* chkM33 = nullptr;
    QCheckBox* chkM34 = nullptr;
    QCheckBox* chkPSht2 = nullptr;

    void done(int result) override;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct TFlagBox {
        QCheckBox* box;
        QString* flags;
        int character;
    };
    // Every check box with the settings string and the character it stands for.
    QList<TFlagBox> flagBoxes() const;
};
