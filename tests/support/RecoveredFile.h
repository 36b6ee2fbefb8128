// A database opened and recovered whole, its records kept; closed again at
// the end of scope.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/Globals.h"
#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"
#include "recover/RecordRecoverer.h"
#include "support/LogCollector.h"

class CCollectingSink : public CRecoverSink {
public:
    void OnRecord(const RecoveredRecord& record) override { records.push_back(record); }
    std::vector<RecoveredRecord> records;
};

struct CRecoveredFile {
    // `threads` as CSqliteParser::m_nDecodeThreads: 0 one per processor.
    explicit CRecoveredFile(const std::string& path, bool useWal = false, bool useJournal = false,
                            unsigned threads = 0)
    {
        parser.m_hLogWnd = &log;
        parser.m_nDecodeThreads = threads;
        parser.m_bUseWal = useWal;
        parser.m_bUseJournal = useJournal;
        parser.OpenDatabase(Widen(path));
        db = &g_dbList.back();
        recoverer = std::make_unique<CRecordRecoverer>(parser, *db);
        ran = recoverer->Run(u"", sink);
    }
    ~CRecoveredFile()
    {
        recoverer.reset();
        CloseDatabase(parser, reinterpret_cast<std::uint64_t>(db));
    }
    CLogCollector log;
    CSqliteParser parser;
    DbInfo* db = nullptr;
    std::unique_ptr<CRecordRecoverer> recoverer;
    CCollectingSink sink;
    bool ran = false;
};
