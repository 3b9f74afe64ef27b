// The journal of the unsaved test, in its parts: the record format (journal_format.h,
// journal_records.h), the writer the station appends through (journal_writer.h), the
// reader that replays a journal (journal_reader.h), and finding and claiming the journals
// a station left (journal_claim.h).
#pragma once

#include "storage/journal_claim.h"
#include "storage/journal_format.h"
#include "storage/journal_reader.h"
#include "storage/journal_writer.h"
