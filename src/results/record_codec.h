#pragma once

// A record as one line of JSON, for the local queue of records waiting for their server.

#include <string>
#include <variant>

#include "results/result_records.h"

namespace vexa::results {

using AnyRecord = std::variant<LogRunRecord, CalibrationRecord, NoiseRecord>;

std::string EncodeRecord(const AnyRecord& record);
// False when the text is not a record this program wrote.
bool DecodeRecord(const std::string& text, AnyRecord& record);

const std::string& RecordId(const AnyRecord& record);

}  // namespace vexa::results
