#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "state/ContextValue.h"

namespace dunvel {

// How a finding names a value it received, as a host-app developer wrote it: `the text "5"`,
// `the number 1`, `the number 5.5`, `true`, `a list of 3 values`, `an object`. Long texts are
// cut with "…", so a megabyte-long name makes no megabyte-long message.
std::string describeValue(const ContextValue& value);

// A text as a message quotes it: in double quotes, cut with "…" past a few dozen characters.
std::string quoted(std::string_view text);

// A number as JSON writes it: 7, -3, 5.5, 1765136742000.
std::string numberText(double number);

// What a text holds when it is a number written out, such as "5" or "1765136700.5": the number
// as JSON would carry it, so a finding can say what to send instead. Nothing otherwise.
std::optional<std::string> numberInText(std::string_view text);

// The text a number would be sent as, when the value is a number whose text is the obvious
// mend (an id of 1 sent as the number 1 means "1"). Nothing for other values.
std::optional<std::string> textOfNumber(const ContextValue& value);

}  // namespace dunvel
