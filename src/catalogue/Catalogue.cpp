#include "Catalogue.h"

void InitGameRecord(TGameRecord& record) {
  record = TGameRecord{};
  record.Name = "Default";
  record.ZipName = "Default";
  record.Resolution = "Default";
}

TCatalogue& Catalogue() {
  static TCatalogue catalogue;
  return catalogue;
}
