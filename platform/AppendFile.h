#pragma once
// Adding a record to the end of a file that several programs append to (a production
// log): the record goes out whole or not at all, in append mode, and is flushed to disk,
// so the records of two programs never interleave and a full disk leaves no half record
// for the next one to be glued to. Callers that check "is the file new?" hold a FileLock
// around the call, so only one of them writes the header (and undoing a short write cuts
// only their own bytes).

#include <string>

namespace pyrola {

// Creates the file (not its folder) when it is missing; an empty file gets header in front
// of record. With an empty record nothing but that header is written: a check that the
// file can be appended to. A FIFO, device or folder is refused at once, without waiting
// on it. A write that stops short (a full disk) is undone: the file is cut back to its
// former length. False when the file cannot be opened or written; why, when given, gets
// the reason.
bool AppendToFile(const std::string& path, const std::string& header, const std::string& record,
                  std::string* why = nullptr);

// For the backends: stores text as the reason (when why is given) and answers false.
bool RefuseAppend(std::string* why, const std::string& text);

} // namespace pyrola
