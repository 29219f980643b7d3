#include "ManifestFile.h"

#include <cerrno>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "ROExceptions.h"
#include "ROStreamSerializer.h"

namespace {

constexpr std::string_view kValueName = "ArrayOfFilesExecutables";

std::string Describe(const std::filesystem::path& path) {
  return "\"" + path.string() + "\"";
}

std::string Reason(int error) {
  return std::generic_category().message(error);
}

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) {
    const int error = errno;
    throw EROFileError("Cannot open the manifest " + Describe(path) + ": " + Reason(error) + ".");
  }
  std::error_code statusError;
  if (!std::filesystem::is_regular_file(path, statusError)) {
    throw EROFileError("Cannot read the manifest " + Describe(path) + ": it is not a file.");
  }
  const std::streamoff size = in.tellg();
  if (size < 0) throw EROFileError("Cannot read the manifest " + Describe(path) + ".");
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  in.seekg(0, std::ios::beg);
  if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size)) {
    throw EROFileError("Cannot read the manifest " + Describe(path) + ".");
  }
  return bytes;
}

}  // namespace

void SaveManifest(const std::filesystem::path& path, const WS_Array_Of_Files_executables& list) {
  std::vector<uint8_t> bytes;
  TROStreamSerializer serializer(bytes);
  serializer.WriteArray(kValueName, &list);

  // The list goes to a file beside the manifest and replaces it only once it is complete, so a
  // full disk leaves the earlier manifest (or none) rather than a torn one that every later
  // launch would fail to read.
  std::filesystem::path temporary = path;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      const int error = errno;
      throw EROFileError("Cannot create the manifest " + Describe(path) + ": " + Reason(error) +
                         ".");
    }
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      throw EROFileError("Cannot write the manifest " + Describe(path) + ".");
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw EROFileError("Cannot replace the manifest " + Describe(path) + ": " + error.message() +
                       ".");
  }
}

std::unique_ptr<WS_Array_Of_Files_executables> LoadManifest(const std::filesystem::path& path) {
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  auto list = std::make_unique<WS_Array_Of_Files_executables>();
  TROStreamSerializer serializer(bytes);
  serializer.ReadArray(kValueName, list);
  return list;
}
