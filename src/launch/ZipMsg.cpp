#include "ZipMsg.h"

#include <cstring>

namespace {

struct TZipString {
  int Number;
  const char* Text;
};

constexpr TZipString kZipStrings[] = {
    {10102, "Error - no zip file specified!"},
    {10103, "Requested memory not available"},
    {10105, "Copying: "},
    {10201, "Seek error reading Zip archive!"},
    {10202, "Unknown error in List() function\n"},
    {10203, "Warning - Error in zip structure!"},
    {10204, "Warning - Garbage at the end of the zipfile!"},
    {10501, "Fatal Error in UNZIPLIB.DLL: abort exception"},
    {10701, "UNZIPLIB Loaded!"},
    {10702, "UnzipLibExec function not found in UNZIPLIB.DLL!"},
    {10703, "GetUnzipLibVersion function not found in UNZIPLIB.DLL!"},
    {10704, "UNZIPLIB.DLL not found!"},
    {11001, "Input file does not exist"},
    {11002, "Zip file could not be opened"},
    {11003, "Not a valid drive: %s"},
    {11004, "Drive %s is NOT defined"},
    {11007, "User canceled operation"},
    {11008, "Seek error in input file"},
    {11009, "Creation of output file failed"},
    {11011, "Error while reading the End Of Central Directory"},
    {11012, "Error while reading a local header"},
    {11013, "Error while reading a central header"},
    {11014, "A local header signature is wrong"},
    {11015, "A central header signature is wrong"},
    {11016, "Error while reading a local file name"},
    {11017, "Error while reading a central file name"},
    {11018, "Error while reading a local extra field"},
    {11019, "Error while reading a central extra field"},
    {11020, "Error while reading/writing a data descriptor area"},
    {11021, "Error while reading zipped data"},
    {11022, "Error while reading a file comment"},
    {11023, "Error while reading the archive comment"},
    {11024, "UnKnown error in function ReadSpan(), WriteSpan() or Rename()\n"},
    {11025, "Unattended disk spanning not implemented"},
    {11027, "Temporary file could not be created"},
    {11028, "Error while writing a local header"},
    {11029, "Error while writing a central header"},
    {11030, "Error while writing the End Of Central Directory"},
    {11031, "Error while reading a Extended Local signature"},
    {11033, "Please insert last disk"},
    {11034, "Please insert disk volume %.1d of %.1d"},
    {11035, "\nin drive: %s"},
    {11036, "This archive is not a valid Zip archive"},
    {11037, "This is the first disk in a backup set,\nplease insert the last disk of this set"},
    {11038, "This is the %dth disk in a backup set,\nplease insert the last disk of this set"},
    {11045, "This is the first file in a backup set,\nplease choose the last file of this set"},
    {11046, "Please insert disk volume %.1d"},
    // The component's own additions.
    {12001, "Not enough space in the temporary folder to join the volumes: "},
    {12002,
     "Entries of the volumes share their data, as in a zip bomb; the volumes are not joined"},
    {12003, "The volumes would join to more than they hold; the volumes are not joined"},
};

}  // namespace

std::string LoadZipString(int number) {
  for (const TZipString& s : kZipStrings)
    if (s.Number == number) return s.Text;
  return "ZipMsg.res is probably not bound to executable\nMissing String ID is: " +
         std::to_string(number);
}

std::string FormatZipString(int number, const std::vector<TZipMessageArg>& args) {
  const std::string text = LoadZipString(number);
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    std::size_t len = 0;
    if (text.compare(i, 2, "%s") == 0 || text.compare(i, 2, "%d") == 0)
      len = 2;
    else if (text.compare(i, 4, "%.1d") == 0)
      len = 4;
    if (len == 0) {
      out += '%';
      continue;
    }
    if (next < args.size()) {
      const TZipMessageArg& arg = args[next++];
      if (const int* n = std::get_if<int>(&arg))
        out += std::to_string(*n);
      else
        out += std::get<std::string>(arg);
    }
    i += len - 1;
  }
  return out;
}
