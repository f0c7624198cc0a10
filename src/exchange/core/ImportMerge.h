#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class TDM;

namespace store {
class Database;
}

// The merge of the staged records into the live tables: the same-name check with its drops
// and renames, storing every staged record with its staged child rows under a key of this
// installation, and the same-name overwrite.
namespace exchange {

class ExchangeHost;
class PackageImport;

// What the same-name check asks; the import dialog implements it.
class DuplicateQuestions {
public:
    // A live record bears the staged record's name: true to drop the staged record, false to
    // keep it for renaming.
    virtual bool dropDuplicate(const QString& name) = 0;
    // A staged record was dropped.
    virtual void stagedRecordDropped() = 0;

protected:
    ~DuplicateQuestions() = default;
};

// What a merge shows while it runs; the import dialog implements it. mergeStarts() and
// mergeEnds() come in pairs, however the merge ends.
class MergeProgress {
public:
    virtual void mergeStarts(int stagedRecords) = 0;
    // A staged record was dealt with (stored, or passed over).
    virtual void recordDone() = 0;
    // A staged record could not be stored; it stays staged.
    virtual void recordFailed(const QString& error) = 0;
    // The live records have changed and the record list was reloaded.
    virtual void liveRecordsStored() = 0;
    // everyRecordStored: nothing is staged any more.
    virtual void mergeEnds(bool everyRecordStored) = 0;

protected:
    ~MergeProgress() = default;
};

// What a merge did.
struct MergeOutcome {
    int added = 0;     // stored (under "同名覆盖", with a name no live record had)
    int replaced = 0;  // stored in place of a live record of the same name
    int failed = 0;    // left staged
    // Why each staged record that cannot be stored was refused ("“名称”：成果类别“4”不是1、2或3").
    QStringList refusals;
};

class ImportMerge {
public:
    ImportMerge(TDM& dm, PackageImport& staging);

    // From the first staged record, each whose name (ITEM_3, trimmed) a live record bears is
    // dropped, with its staged child rows, or kept. Returns the name of the record kept for
    // renaming, T_temp_in's cursor on it; nullopt when the check has gone through every staged
    // record.
    std::optional<QString> removeDuplicates(DuplicateQuestions& questions);
    // The staged record under T_temp_in's cursor gets name; a name that cannot be stored is
    // thrown, the staged name unchanged.
    void renameCurrent(const QString& name);

    // Stores every staged record with its staged child rows under a new key; with overwrite the
    // live record of its name (with its child rows) goes first and a staged record without a
    // name is passed over. Each staged record is stored whole or not at all: one that fails
    // stays staged and the others go on. When all were stored the staging tables are emptied.
    // host keeps the windows responsive between records.
    MergeOutcome storeAll(bool overwrite, MergeProgress& progress, ExchangeHost& host);

    // Stores the staged record under T_temp_in's cursor with its staged child rows under a new
    // key and removes them from the staging tables, as one unit of writes; returns the key. On
    // failure nothing of it has been written and the error is thrown.
    QString CommitImportedRecord();

private:
    // Stores the current staged record, replacing the live record of its name when overwrite;
    // true when it replaced one.
    bool mergeCurrent(bool overwrite);

    TDM& m_dm;
    PackageImport& m_staging;
};

// Deletes the child rows (patents, co-completing units, persons, committee) of the record
// keyed key and region in db.
void DeleteRecordChildren(store::Database& db, const QString& key, const QString& region);

}  // namespace exchange
