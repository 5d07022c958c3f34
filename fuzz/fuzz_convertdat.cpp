// The ".dat" converter, both modes, on arbitrary text. The first two bytes choose the image size.
// Besides memory safety it checks what must always hold: a failed parse leaves the image alone,
// both modes agree on whether a text is well formed, and a rendered text parses back to the very
// image it was rendered from.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/ConvertDat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t imageSize = (std::size_t(data[0]) | std::size_t(data[1]) << 8) % 4096;
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

  std::vector<std::uint8_t> image(imageSize, 0x5A);
  kvt::DatError parseError;
  const bool parsed = kvt::ParseDatText(text, image, &parseError);
  if (image.size() != imageSize) std::abort();
  if (!parsed && image != std::vector<std::uint8_t>(imageSize, 0x5A)) std::abort();

  std::string rendered;
  kvt::DatError renderError;
  const bool ok = kvt::RenderDatText(text, image, rendered, &renderError);
  if (ok != parsed) std::abort();
  if (!ok) {
    if (!rendered.empty() || renderError.position != parseError.position) std::abort();
    if (renderError.token.size() > kvt::kMaxDatToken + 1) std::abort();
    (void)renderError.Describe();
    return 0;
  }
  std::vector<std::uint8_t> again(imageSize, 0x5A);
  if (!kvt::ParseDatText(rendered, again) || again != image) std::abort();

  std::vector<kvt::DatValue> values;
  if (!kvt::ListDatValues(text, values)) std::abort();
  for (const kvt::DatValue& v : values)
    if (v.position + v.length > text.size()) std::abort();
  return 0;
}
