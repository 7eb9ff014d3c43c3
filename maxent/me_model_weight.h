// Strict reading of the weight field of model file lines.
#ifndef VERRIN_MAXENT_ME_MODEL_WEIGHT_H_
#define VERRIN_MAXENT_ME_MODEL_WEIGHT_H_

#include <cstdint>
#include <string>

namespace verrin {

// The units of a field as ASCII; any other unit becomes 0x01, which no
// number holds.
std::string AsciiField(const char16_t* text, int32_t length);

// The weight of a model line: `text` up to the line's end, one finite number
// (surrounding blanks aside) in any form strtod reads. False when the field
// is anything else.
bool ParseWeight(const char16_t* text, int32_t length, double* weight);

}  // namespace verrin

#endif  // VERRIN_MAXENT_ME_MODEL_WEIGHT_H_
