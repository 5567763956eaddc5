#pragma once

#include <string>

struct EdfAnnotation;
struct EdfFileState;

// A file with more annotations than data records cannot keep them one per record in the
// 114-byte slots of its annotation signal. It is then rewritten once, at close, with an
// annotation signal wide enough for all of them: each record's slot carries its time-keeping TAL
// first and then the next annotations in the order they were added, the same number in every
// record but the last (the annotations keep their order and onsets; the slot of each record is
// as wide as the fullest one needs). The signals' samples are copied record by record, so the
// rewrite needs one record's memory.
//
// The rewrite goes to a new file beside the old one, complete before the caller puts it in the
// old one's place: when it fails (a full disk), the old file is left as it was. Internal to the
// engine.

// true when every annotation lies in the new file, whose path rewrittenPath receives; false, with
// the file as it was and no new file, when it could not be rewritten. The file's stream must hold
// every record and the record count; the state afterwards describes the new layout, but the
// stream still writes the old file.
bool RewriteWithEveryAnnotation(EdfFileState& state, const EdfAnnotation* annotations, std::string& rewrittenPath);
