// The last error of each thread, behind VerrinLastError() and
// verrin_last_error().
#ifndef VERRIN_API_MESSAGES_H_
#define VERRIN_API_MESSAGES_H_

#include <string>

namespace verrin {

// Makes `message` the calling thread's last error, without trailing line
// ends; an empty message becomes `fallback`.
void SetLastError(std::string message, const char* fallback = "");

}  // namespace verrin

#endif  // VERRIN_API_MESSAGES_H_
