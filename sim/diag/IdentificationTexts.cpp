#include "sim/diag/IdentificationTexts.hpp"

#include <array>

#include "platform/CodePage.hpp"

namespace quillorn::sim {

namespace {

std::string Ansi(const char* utf8) { return Utf8ToAnsi(utf8); }

// Every model shares the layout; what differs is who it claims to be.
TKwpTexts JanuaryTexts(const char* identifier, const char* controllerCode, const char* engine) {
  return {
      {0x9A, identifier},
      {0x91, "0123456789"},
      {0x92, controllerCode},
      {0x94, identifier},
      {0x97, Ansi(engine)},
      {0x99, "12.03.2004"},
  };
}

TKwpTexts Mikas76Texts() {
  return {
      {0x91, "7600123456"},
      {0x92, "21114-1411020-30"},
      {0x93, "MIKAS 7.6"},
      {0x94, Ansi("ВАЗ-21114 1.6i")},
      {0x95, "21114-1411020"},
      {0x97, "05.10.2006"},
      {0x98, "M76 E3 EU"},
      {0x99, "HW 7.6.2"},
      {0x9A, "MK76-0112"},
  };
}

}  // namespace

TKwpTexts KwpIdentificationTexts(TEcuModel model) {
  switch (model) {
    case TEcuModel::January5: return JanuaryTexts("J5V05L15", "2112-1411020-40", "ВАЗ-2112 1.5i 16V");
    case TEcuModel::January72: return JanuaryTexts("I203EL01", "21067-1411020-10", "ВАЗ-21067 1.6i");
    case TEcuModel::Vs51: return JanuaryTexts("V5M05H21", "2111-1411020-60", "ВАЗ-2111 1.5i");
    case TEcuModel::Mikas76: return Mikas76Texts();
    default: return {};
  }
}

TMikasTexts MikasIdentificationTexts() {
  return {
      {MikasRequestKey(0x51), Utf8ToOem("МИКАС-7         ")},
      {MikasRequestKey(0x52), Utf8ToOem("2111-1411020-80")},
      {MikasRequestKey(0x53), Utf8ToOem("М7.1 14.02.2001")},
      {MikasRequestKey(0x54), Utf8ToOem("ВАЗ-2111 1.5i")},
      {MikasRequestKey(0x55), Utf8ToOem("Евро-2")},
      {MikasRequestKey(0x56), Utf8ToOem("Калибровка 03")},
      {MikasRequestKey(0x57), Utf8ToOem("21.05.2001")},
      {MikasRequestKey(0x58), Utf8ToOem("Без нейтрализ.")},
      {MikasRequestKey(0x61, 0x74), Utf8ToOem("7100456789")},
      {MikasRequestKey(0x61, 0x75), Utf8ToOem("ЭБУ М7.1")},
      {MikasRequestKey(0x61, 0x76), Utf8ToOem("Версия 2.0")},
  };
}

std::string Utf8ToOem(const std::string& utf8) {
  // 1251 -> 866: the program's table turned round, first 866 byte found wins.
  static const std::array<uint8_t, 256> toOem = [] {
    std::array<uint8_t, 256> table{};
    table.fill('?');
    for (int oem = 0xFF; oem >= 0; --oem) table[OemToAnsiByte(static_cast<uint8_t>(oem))] = static_cast<uint8_t>(oem);
    for (int ascii = 0; ascii < 0x80; ++ascii) table[ascii] = static_cast<uint8_t>(ascii);
    return table;
  }();
  std::string oem = Utf8ToAnsi(utf8);
  for (char& c : oem) c = static_cast<char>(toOem[static_cast<uint8_t>(c)]);
  return oem;
}

}  // namespace quillorn::sim
