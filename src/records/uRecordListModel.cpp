#include "records/uRecordListModel.h"

#include "model/uDataFunc.h"
#include "store/uRecordDb.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

TRecordListModel::TRecordListModel(TRecordDb& db, QObject* parent) : QAbstractTableModel(parent), db_(db) {}

TRecordListModel::~TRecordListModel() = default;

void TRecordListModel::CloseList()
{
    beginResetModel();
    open_ = false;
    rows_ = 0;
    fields_.clear();
    pageQuery_.reset();
    pages_.clear();
    recent_.clear();
    endResetModel();
}

bool TRecordListModel::OpenList(bool descending, QString* error)
{
    if (!db_.IsOpen()) {
        CloseList();
        if (error) *error = db_.OpenError();
        return false;
    }
    QSqlQuery count(db_.Database());
    if (!count.exec(QStringLiteral("Select count(*) from UpsEvntRecord")) || !count.next()) {
        CloseList();
        if (error) *error = count.lastError().text();
        return false;
    }
    const int rows = count.value(0).toInt();
    QStringList fields;
    const QSqlRecord shape = db_.Database().record(QStringLiteral("UpsEvntRecord"));
    for (int i = 0; i < shape.count(); ++i) fields << shape.fieldName(i);

    // The same list read again (after a store): the rows are read afresh, but the grid keeps
    // its columns, so a refresh costs a count and the page on screen.
    if (open_ && pageQuery_ && descending == descending_ && fields == fields_) {
        pages_.clear();
        recent_.clear();
        if (rows > rows_) {
            beginInsertRows(QModelIndex(), rows_, rows - 1);
            rows_ = rows;
            endInsertRows();
        } else if (rows < rows_) {
            beginRemoveRows(QModelIndex(), rows, rows_ - 1);
            rows_ = rows;
            endRemoveRows();
        }
        if (rows_ > 0)
            Q_EMIT dataChanged(index(0, 0), index(rows_ - 1, static_cast<int>(fields_.size()) - 1));
        return true;
    }

    // Pages are cut from the record-number index alone, then joined to their rows, so that
    // skipping to a page near the end does not read the rows before it. Ties (rows of a loaded
    // copy that share a record number) keep the order they were stored in.
    auto query = std::make_unique<QSqlQuery>(db_.Database());
    const QString sql =
        descending ? QStringLiteral("Select t.* from (Select ID from UpsEvntRecord order by RecNo Desc, ID "
                                    "Desc limit :rows offset :first) k join UpsEvntRecord t on t.ID = k.ID "
                                    "order by t.RecNo Desc, t.ID Desc")
                   : QStringLiteral("Select t.* from (Select ID from UpsEvntRecord order by RecNo, ID "
                                    "limit :rows offset :first) k join UpsEvntRecord t on t.ID = k.ID "
                                    "order by t.RecNo, t.ID");
    query->setForwardOnly(true);
    if (!query->prepare(sql)) {
        CloseList();
        if (error) *error = query->lastError().text();
        return false;
    }
    beginResetModel();
    open_ = true;
    descending_ = descending;
    rows_ = rows;
    fields_ = fields;
    shape_ = shape;
    pageQuery_ = std::move(query);
    pages_.clear();
    recent_.clear();
    pagesRead_ = 0;
    endResetModel();
    return true;
}

void TRecordListModel::SetTitles(const QStringList& titles)
{
    titles_ = titles;
    if (!fields_.isEmpty()) Q_EMIT headerDataChanged(Qt::Horizontal, 0, static_cast<int>(fields_.size()) - 1);
}

const QVector<TRecordListModel::Row>* TRecordListModel::page(int number) const
{
    auto found = pages_.constFind(number);
    if (found != pages_.constEnd()) {
        recent_.remove(number);
        recent_.push_front(number);
        return &found.value();
    }
    if (!pageQuery_) return nullptr;
    pageQuery_->bindValue(QStringLiteral(":rows"), PageRows);
    pageQuery_->bindValue(QStringLiteral(":first"), number * PageRows);
    QVector<Row> rows;
    if (pageQuery_->exec()) {
        rows.reserve(PageRows);
        const int columns = static_cast<int>(fields_.size());
        while (pageQuery_->next()) {
            Row r(columns);
            for (int c = 0; c < columns; ++c) r[c] = pageQuery_->value(c);
            rows.push_back(std::move(r));
        }
    }
    pageQuery_->finish();
    ++pagesRead_;
    if (static_cast<int>(recent_.size()) >= CachedPages) {
        pages_.remove(recent_.back());
        recent_.pop_back();
    }
    recent_.push_front(number);
    return &pages_.insert(number, rows).value();
}

const TRecordListModel::Row* TRecordListModel::row(int row) const
{
    if (!open_ || row < 0 || row >= rows_) return nullptr;
    const QVector<Row>* p = page(row / PageRows);
    const int at = row % PageRows;
    if (!p || at >= p->size()) return nullptr;
    return &p->at(at);
}

QSqlRecord TRecordListModel::RowRecord(int row) const
{
    const Row* r = this->row(row);
    if (!r) return {};
    QSqlRecord record = shape_;
    for (int c = 0; c < r->size() && c < record.count(); ++c) record.setValue(c, r->at(c));
    return record;
}

QVariant TRecordListModel::RawValue(int row, const QString& field) const
{
    const Row* r = this->row(row);
    const int c = fields_.indexOf(field);
    return r && c >= 0 && c < r->size() ? r->at(c) : QVariant();
}

int TRecordListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int TRecordListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(fields_.size());
}

QString TRecordListModel::CellText(const QString& field, const QVariant& value)
{
    if (value.isNull()) return QString();
    if (field == QLatin1String("UPSDate")) {
        const QString text = value.toString();
        QDateTime when = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        if (!when.isValid()) IsValidDateTime(text, &when);
        return when.isValid() ? when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) : text;
    }
    if (field == QLatin1String("UpsState")) return StateText(value.toInt());
    if (field == QLatin1String("EventNo")) return EventText(value.toInt());
    if (field == QLatin1String("AlarmNo")) return AlarmText(value.toInt());
    // Whole numbers stored in real columns show without a fraction.
    if (value.typeId() == QMetaType::Double) {
        const double d = value.toDouble();
        if (d == static_cast<double>(static_cast<long long>(d)))
            return QString::number(static_cast<long long>(d));
    }
    return value.toString();
}

QVariant TRecordListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.column() >= fields_.size()) return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole) return {};
    const Row* r = row(index.row());
    if (!r || index.column() >= r->size()) return {};
    const QVariant& value = r->at(index.column());
    if (role == Qt::EditRole) return value;
    return CellText(fields_.at(index.column()), value);
}

QVariant TRecordListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    if (section < 0 || section >= fields_.size()) return {};
    if (section < titles_.size()) return titles_.at(section);
    return fields_.at(section);
}
