#include "records/uRecordListModel.h"

#include "model/uDataFunc.h"
#include "records/uRecordDb.h"

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
    CloseList();
    if (!db_.IsOpen()) {
        if (error) *error = db_.OpenError();
        return false;
    }
    QSqlQuery count(db_.Database());
    if (!count.exec(QStringLiteral("Select count(*) from UpsEvntRecord")) || !count.next()) {
        if (error) *error = count.lastError().text();
        return false;
    }
    const int rows = count.value(0).toInt();
    QStringList fields;
    const QSqlRecord shape = db_.Database().record(QStringLiteral("UpsEvntRecord"));
    for (int i = 0; i < shape.count(); ++i) fields << shape.fieldName(i);

    // Ties (rows of a loaded copy that share a record number) keep the order they were
    // stored in, so that pages never overlap.
    auto query = std::make_unique<QSqlQuery>(db_.Database());
    const QString sql = descending
                            ? QStringLiteral("Select * from UpsEvntRecord order by RecNo Desc, ID Desc "
                                             "limit :rows offset :first")
                            : QStringLiteral("Select * from UpsEvntRecord order by RecNo, ID "
                                             "limit :rows offset :first");
    query->setForwardOnly(true);
    if (!query->prepare(sql)) {
        if (error) *error = query->lastError().text();
        return false;
    }
    beginResetModel();
    open_ = true;
    descending_ = descending;
    rows_ = rows;
    fields_ = fields;
    pageQuery_ = std::move(query);
    pagesRead_ = 0;
    endResetModel();
    return true;
}

void TRecordListModel::SetTitles(const QStringList& titles)
{
    titles_ = titles;
    if (!fields_.isEmpty()) Q_EMIT headerDataChanged(Qt::Horizontal, 0, static_cast<int>(fields_.size()) - 1);
}

const QVector<QSqlRecord>* TRecordListModel::page(int number) const
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
    QVector<QSqlRecord> rows;
    if (pageQuery_->exec()) {
        rows.reserve(PageRows);
        while (pageQuery_->next()) rows.push_back(pageQuery_->record());
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

QSqlRecord TRecordListModel::RowRecord(int row) const
{
    if (!open_ || row < 0 || row >= rows_) return {};
    const QVector<QSqlRecord>* p = page(row / PageRows);
    const int at = row % PageRows;
    if (!p || at >= p->size()) return {};
    return p->at(at);
}

QVariant TRecordListModel::RawValue(int row, const QString& field) const
{
    return RowRecord(row).value(field);
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
    if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
    const QSqlRecord r = RowRecord(index.row());
    if (r.isEmpty()) return {};
    const QString& field = fields_.at(index.column());
    if (role == Qt::EditRole) return r.value(field);
    return CellText(field, r.value(field));
}

QVariant TRecordListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    if (section < 0 || section >= fields_.size()) return {};
    if (section < titles_.size()) return titles_.at(section);
    return fields_.at(section);
}
