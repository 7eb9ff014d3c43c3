// The page served at "/": one HTML document with its style and script inline,
// so it works without fetching anything from elsewhere.
#ifndef VERRIN_SERVE_PAGE_H_
#define VERRIN_SERVE_PAGE_H_

namespace verrin::serve {

// NUL-terminated UTF-8 HTML.
const char* PageHtml();

}  // namespace verrin::serve

#endif  // VERRIN_SERVE_PAGE_H_
