#pragma once
// Adding a record to the end of a file that several programs append to (a production
// log): the record goes out in one write in append mode and is flushed to disk, so the
// records of two programs never interleave. Callers that check "is the file new?" hold a
// FileLock around the call, so only one of them writes the header.

#include <string>

namespace pyrola {

// Creates the file (not its folder) when it is missing; an empty file gets header in front
// of record. With an empty record nothing but that header is written: a check that the
// file can be appended to. False when the file cannot be opened or written.
bool AppendToFile(const std::string& path, const std::string& header, const std::string& record);

} // namespace pyrola
