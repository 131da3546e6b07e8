// The grid's list of the record table: the rows of UpsEvntRecord sorted by record number,
// read page by page as the grid shows them, so that a refresh after every stored record costs
// a count and one page whatever the size of the table.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QSqlRecord>
#include <QStringList>
#include <QVector>

#include <list>
#include <memory>

class QSqlQuery;
class TRecordDb;

class TRecordListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TRecordListModel(TRecordDb& db, QObject* parent = nullptr);
    ~TRecordListModel() override;

    // Closes the list (no rows, no columns), as before a reopen.
    void CloseList();
    // Reopens the list in ascending or descending record-number order; false on an engine
    // error (then error holds the engine's message and the list stays closed).
    bool OpenList(bool descending, QString* error = nullptr);
    bool IsOpen() const { return open_; }
    bool Descending() const { return descending_; }

    // The column names of the table, in table order.
    QStringList FieldNames() const { return fields_; }
    int FieldIndex(const QString& name) const { return fields_.indexOf(name); }
    // Column titles shown in the grid's header (one per column; empty for hidden columns).
    void SetTitles(const QStringList& titles);

    // The whole row at an ordinal position (0-based); an empty record when out of range.
    QSqlRecord RowRecord(int row) const;
    // The raw value of one column at a row.
    QVariant RawValue(int row, const QString& field) const;

    // Pages read from the database since the list was last opened (tests, benchmark).
    int PagesRead() const { return pagesRead_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The text a cell shows: the date as "yyyy-MM-dd hh:mm:ss", the texts of the state, event
    // and alarm codes, any other value as it stands; empty for a null value.
    static QString CellText(const QString& field, const QVariant& value);

private:
    static constexpr int PageRows = 64;
    using Row = QVector<QVariant>;
    static constexpr int CachedPages = 8;
    const QVector<Row>* page(int number) const;
    const Row* row(int row) const;

    TRecordDb& db_;
    bool open_ = false;
    bool descending_ = false;
    int rows_ = 0;
    QStringList fields_;
    QStringList titles_;
    mutable std::unique_ptr<QSqlQuery> pageQuery_;
    mutable QHash<int, QVector<Row>> pages_;
    QSqlRecord shape_;              // the table's columns, for RowRecord
    mutable std::list<int> recent_; // most recently used page first
    mutable int pagesRead_ = 0;
};
