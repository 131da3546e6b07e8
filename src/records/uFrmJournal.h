// The service journal window: every write the tool sent, newest first, filtered by cabinet
// and day, exported as CSV or as the day's one-page service report in PDF.
#pragma once

#include <QDate>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTableWidget;

class TfrmJournal : public QWidget {
    Q_OBJECT
public:
    explicit TfrmJournal(QWidget* parent = nullptr);

    void ApplyCaptions();
    // Reads the journal again with the filter of the window.
    void RefreshList();
    // Cabinet of the filter, 0 for every cabinet.
    int FilterAddress() const;
    // Day of the filter; invalid when every day is shown.
    QDate FilterDay() const;

    void btnExportCsvClick();
    void btnReportClick();

    // The CSV text of the rows shown: UTF-8 with its byte-order mark, a heading line.
    QByteArray CsvBytes() const;

    QLabel* lblCabinet = nullptr;
    QComboBox* cbbCabinet = nullptr;
    QCheckBox* chkDay = nullptr;
    QDateEdit* dtpDay = nullptr;
    QPushButton* btnRefresh = nullptr;
    QTableWidget* sgrdJournal = nullptr;
    QPushButton* btnExportCsv = nullptr;
    QPushButton* btnReport = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
};
