#pragma once

#include <string>

// The EDF+ identification of a recording, given as "key=value,key=value" (any order, each key at
// most once; a comma starts the next subfield only where a key and "=" follow it, so a value may
// hold commas): the patient's keys code, sex (M, F or X), birthdate (dd-MMM-yyyy, the month in
// English letters: 02-MAY-1951) and name; the recording's admincode, technician and equipment.
// A value is printable ASCII; its blanks become underscores, as EDF+ keeps one subfield a word.
// Every subfield left out is X. The result is the subfields in the order EDF+ has them, one blank
// between each ("MCH-0234567 F 02-MAY-1951 Haagse_Harry"): the whole patient field, and the
// recording field after its "Startdate dd-MMM-yyyy ". false, with the reason in error, for
// input that does not make a field of 80 characters.
bool ParsePatientIdentification(const std::string& text, std::string& subfields, std::string& error);
bool ParseRecordingIdentification(const std::string& text, std::string& subfields, std::string& error);
