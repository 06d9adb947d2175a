#include "install/install_journal.h"

#include "install/journal_format.h"
#include "install/md5.h"
#include "install/recovery.h"
#include "support/scratch.h"

using testsupport::ScratchDirTest;

using install::JournalMove;
using install::JournalRecord;
using install::JournalState;
using install::ManifestEntry;
using install::RecoveryResult;

namespace {

constexpr char16_t kNewMd5[] = u"22af645d1859cb5ca6da0c484f1f37ea";  // of "new"

JournalRecord sampleRecord() {
    JournalRecord record;
    record.backupDir = u"~rollback7";
    record.directories = {{u"新", 1}, {u"新\\a%b\\c", 2}};
    record.moves = {{JournalMove::kNewFile, u"新\\a%b\\tab\there", -1, kNewMd5},
                    {JournalMove::kReplace, u"line\r\nend.txt", 0, kNewMd5},
                    {JournalMove::kReplace, std::u16string(u"lone\xD800surrogate"), 12, u""}};
    return record;
}

bool sameRecord(const JournalRecord& a, const JournalRecord& b) {
    if (a.backupDir != b.backupDir || a.directories != b.directories || a.moves.size() != b.moves.size()) return false;
    for (std::size_t i = 0; i < a.moves.size(); ++i) {
        if (a.moves[i].kind != b.moves[i].kind || a.moves[i].path != b.moves[i].path ||
            a.moves[i].backup != b.moves[i].backup || a.moves[i].md5 != b.moves[i].md5) {
            return false;
        }
    }
    return true;
}

TEST(JournalFormat, EveryStateIsToldFromTheBytes) {
    const std::string plan = install::encodeJournal(sampleRecord());
    const std::string commit(install::journalCommitRecord());
    JournalRecord read;
    ASSERT_EQ(install::decodeJournal(plan, read), JournalState::kPlanned);
    EXPECT_TRUE(sameRecord(read, sampleRecord()));
    // Whatever a power cut left of the plan is torn; of the commit, no commit.
    for (std::size_t n = 0; n < plan.size(); ++n) {
        ASSERT_EQ(install::decodeJournal(plan.substr(0, n), read), JournalState::kTorn) << n;
    }
    for (std::size_t n = 1; n < commit.size(); ++n) {
        ASSERT_EQ(install::decodeJournal(plan + commit.substr(0, n), read), JournalState::kPlanned) << n;
    }
    EXPECT_EQ(install::decodeJournal(plan + commit, read), JournalState::kCommitted);
    EXPECT_TRUE(sameRecord(read, sampleRecord()));

    std::string flipped = plan;
    flipped[plan.size() / 2] ^= 1;
    JournalRecord unsafe = sampleRecord();
    unsafe.moves[0].path = u"..\\outside.dll";
    JournalRecord badDigest = sampleRecord();
    badDigest.moves[1].md5 = u"22AF645D1859CB5CA6DA0C484F1F37EA";
    std::string otherVersion = plan;
    otherVersion[2 * 30] = '3';  // "updater installation journal 3"
    const struct {
        std::string bytes;
        JournalState state;
    } cases[] = {
        {flipped, JournalState::kTorn},
        {plan + commit + "x", JournalState::kUnreadable},
        {plan + "\xff\xfe", JournalState::kUnreadable},
        {install::encodeJournal(unsafe), JournalState::kUnreadable},
        {install::encodeJournal(badDigest), JournalState::kUnreadable},
        {otherVersion, JournalState::kUnreadable},
        {std::string("\xff\xfe<\0u\0p\0", 8), JournalState::kForeign},
        {"staged content of a file that happens to have this name", JournalState::kForeign},
    };
    for (const auto& c : cases) EXPECT_EQ(install::decodeJournal(c.bytes, read), c.state);
}

// What the Updater before the digests wrote is still put back or finished.
TEST(JournalFormat, VersionOneIsReadWithoutDigests) {
    const std::u16string text =
        u"\uFEFFupdater installation journal 1\r\nbackups\t~rollback1\r\nmkdir\tbin\r\nnew\tbin\\a.dll\r\n"
        u"replace\tb.txt\t0\r\n";
    std::string bytes;
    for (const char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    Md5Context md5;
    md5.addBytes(bytes.data(), bytes.size());
    const std::string digest = md5.hexDigest();
    for (const char c : "end\t5\t" + digest + "\r\n") bytes += {c, '\0'};
    JournalRecord read;
    ASSERT_EQ(install::decodeJournal(bytes + std::string(install::journalCommitRecord()), read),
              JournalState::kCommitted);
    JournalRecord expected;
    expected.backupDir = u"~rollback1";
    expected.directories = {{u"bin", 1}};
    expected.moves = {{JournalMove::kNewFile, u"bin\\a.dll", -1}, {JournalMove::kReplace, u"b.txt", 0}};
    EXPECT_TRUE(sameRecord(read, expected));
}

class Recovery : public ScratchDirTest {
protected:
    const std::u16string staging = u"autoTemp\\";
    std::u16string errorText;

    RecoveryResult recover() {
        return install::recoverInstallation(tree, staging, staging, errorText, install::noReports());
    }

    // A replacing installation of entries cut short after its last move.
    JournalRecord interruptedAfterMoves(const std::vector<ManifestEntry>& entries, bool committed) {
        JournalRecord record;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            record.moves.push_back({JournalMove::kReplace, entries[i].path, static_cast<std::int32_t>(i), kNewMd5});
        }
        install::InstallJournal journal(tree, staging, staging);
        EXPECT_EQ(journal.begin(record, entries, [] { return 0u; }), 0u);
        for (const JournalMove& move : record.moves) {
            EXPECT_EQ(platform::renameFile(move.path, install::backupPath(staging, record.backupDir, move.backup)), 0u);
            EXPECT_EQ(platform::moveFileReplace(staging + move.path, move.path), 0u);
        }
        if (committed) {
            EXPECT_EQ(journal.commit(), 0u);
        }
        journal.close();
        return record;
    }

    void stage(const std::vector<ManifestEntry>& entries) {
        for (const ManifestEntry& entry : entries) {
            writeFile(entry.path, "old " + std::string(entry.path.begin(), entry.path.end()));
            writeFile(staging + entry.path, "new");
        }
    }
};

TEST_F(Recovery, ARestoreThatFailsStopsThereAndALaterRunFinishes) {
    const std::vector<ManifestEntry> entries = {{u"d\\a.txt", {}}, {u"b.txt", {}}};
    stage(entries);
    interruptedAfterMoves(entries, false);
    // The directory of the first target disappears: its restore must fail.
    std::filesystem::remove_all("d");
    EXPECT_EQ(recover(), RecoveryResult::kFailed);
    EXPECT_EQ(errorText, u"d\\a.txt还原文件失败 （3）");
    EXPECT_EQ(readFile(u"b.txt"), "old b.txt");  // newest first: already put back
    EXPECT_EQ(listing(u"autoTemp\\~rollback1"), "0");
    EXPECT_EQ(readFile(u"autoTemp\\~rollback1\\0"), "old d\\a.txt");

    std::filesystem::create_directory("d");
    EXPECT_EQ(recover(), RecoveryResult::kRolledBack);
    EXPECT_EQ(readFile(u"d\\a.txt"), "old d\\a.txt");
    EXPECT_FALSE(exists(u"autoTemp\\d\\a.txt"));  // the new file went with its directory
    EXPECT_EQ(readFile(u"autoTemp\\b.txt"), "new");
    EXPECT_EQ(listing(u"autoTemp"), "b.txt d");
    EXPECT_EQ(recover(), RecoveryResult::kNothing);
}

TEST_F(Recovery, ACommittedInstallationIsOnlyTidiedUp) {
    const std::vector<ManifestEntry> entries = {{u"a.txt", {}}, {u"b.txt", {}}};
    stage(entries);
    const JournalRecord record = interruptedAfterMoves(entries, true);
    // Cut short after the first backup was deleted.
    ASSERT_EQ(platform::deleteFile(install::backupPath(staging, record.backupDir, 0)), 0u);
    EXPECT_EQ(recover(), RecoveryResult::kCompleted);
    EXPECT_EQ(readFile(u"a.txt"), "new");
    EXPECT_EQ(readFile(u"b.txt"), "new");
    // The journal tells the next run that the work is done until the product knows it.
    EXPECT_EQ(listing(u"autoTemp"), "~rollback1.journal");
    install::removeCompletedJournals(tree, staging);
    EXPECT_EQ(listing(u"autoTemp"), "");
}

// A disk that lost new files' data behind a flushed commit: the old version
// comes back whole, and the new files go back to the staging directory.
TEST_F(Recovery, ACommittedInstallationWithADamagedFileIsPutBack) {
    const std::vector<ManifestEntry> entries = {{u"a.txt", {}}, {u"d\\b.txt", {}}, {u"c.txt", {}}};
    stage(entries);
    interruptedAfterMoves(entries, true);
    writeFile(u"a.txt", "");
    ASSERT_EQ(platform::deleteFile(u"d\\b.txt"), 0u);
    const RecoveryResult result = recover();
    EXPECT_EQ(result, RecoveryResult::kDamaged);
    EXPECT_EQ(errorText, u"a.txt安装文件已损坏 （13）");  // the first in the journal's order
    EXPECT_EQ(readFile(u"a.txt"), "old a.txt");
    EXPECT_EQ(readFile(u"d\\b.txt"), "old d\\b.txt");
    EXPECT_EQ(readFile(u"c.txt"), "old c.txt");
    EXPECT_EQ(readFile(u"autoTemp\\a.txt"), "");
    EXPECT_EQ(readFile(u"autoTemp\\c.txt"), "new");
    EXPECT_EQ(listing(u"autoTemp"), "a.txt c.txt d");
}

TEST_F(Recovery, JournalsThatAreNotOursOrNotReadableAreLeftAlone) {
    writeFile(u"autoTemp\\~rollback3.journal", "a staged file of that name");
    EXPECT_EQ(recover(), RecoveryResult::kNothing);
    writeFile(u"autoTemp\\~rollback4.journal", install::encodeJournal(sampleRecord()) + "garbage");
    EXPECT_EQ(recover(), RecoveryResult::kFailed);
    EXPECT_EQ(errorText, u"autoTemp\\~rollback4.journal还原文件失败 （13）");
    EXPECT_EQ(listing(u"autoTemp"), "~rollback3.journal ~rollback4.journal");
}

}  // namespace
