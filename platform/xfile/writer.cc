#include "platform/xfile/writer.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/paths/file_save.h"
#include "platform/xfile/binary_writer.h"
#include "platform/xfile/text_writer.h"

namespace zv::platform {
namespace {

std::string HeaderLine(const XWriteOptions& options) {
  XHeader header;
  header.minor_version = options.minor_version == 3 ? 3 : 2;
  header.encoding = options.encoding;
  header.float_bits = options.float_bits == 64 ? 64 : 32;
  return header.ToString();
}

template <class Writer>
std::string WriteWith(Writer& writer, std::string& out, const XDocument& document,
                      const XWriteOptions& options) {
  if (options.write_templates)
    for (const auto& t : document.templates) writer.WriteTemplate(*t);
  for (const auto& object : document.objects) writer.WriteObject(*object);
  return std::move(out);
}

}  // namespace

XResult<std::string> WriteXData(const XDocument& document, const XWriteOptions& options) {
  const int float_bits = options.float_bits == 64 ? 64 : 32;
  try {
    if (options.encoding == XEncoding::kText) {
      XTextWriter writer(float_bits);
      writer.text() = HeaderLine(options) + "\n";
      return WriteWith(writer, writer.text(), document, options);
    }
    XBinaryWriter writer(float_bits);
    writer.bytes() = HeaderLine(options);
    return WriteWith(writer, writer.bytes(), document, options);
  } catch (const XFileException& e) {
    return e.error();
  }
}

XResult<uint64_t> SaveXFile(const std::string& path, const XDocument& document,
                            const XWriteOptions& options) {
  auto data = WriteXData(document, options);
  if (!data.ok()) return data.error();
  if (!SaveFile(path, std::string_view(*data))) {
    const int error = errno;
    XError failure{0, "cannot write " + path + ": " + std::strerror(error)};
    errno = error;  // for callers that report the cause themselves
    return failure;
  }
  return static_cast<uint64_t>(data->size());
}

}  // namespace zv::platform
