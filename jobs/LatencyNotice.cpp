#include "jobs/LatencyNotice.hpp"

namespace quillorn {

namespace {

// A 64 KiB flash read in 32-byte requests: each waits once for the adapter.
constexpr uint32_t kRequestsPer64KiB = 2048;

std::string DeviceManagerPath(const std::string& portName) {
  return "Диспетчер устройств → Порты (COM и LPT) → " + portName +
         " → Свойства → Port Settings → Advanced → Latency Timer (msec)";
}

std::string Cost(const TLatencyFacts& facts, uint32_t echoMs) {
  const uint64_t extraSeconds = (uint64_t{facts.echoMicros} * kRequestsPer64KiB + 500000) / 1000000;
  return "Порт " + facts.portName + ": USB-адаптер задерживает ответы ЭБУ на " + std::to_string(echoMs) +
         " мс. Каждый запрос ждёт эту задержку заново: чтение 64 КБ flash идёт примерно на " +
         std::to_string(extraSeconds) + " с дольше.";
}

std::string LowerTimer(const TAdapterLatency& adapter, const std::string& portName) {
  if (adapter.setting == TLatencySetting::DeviceManager)
    return " Уменьшите его до 1 мс: " + DeviceManagerPath(portName) + ", затем переподключите адаптер.";
  return " Уменьшите его до 1 мс: echo 1 | sudo tee " + adapter.location + ".";
}

std::string Fix(const TLatencyFacts& facts) {
  const TAdapterLatency& adapter = facts.adapter;
  if (adapter.timerMs && *adapter.timerMs > kLatencyNoticeAboveMs) {
    const std::string timer = std::to_string(*adapter.timerMs);
    if (adapter.setting == TLatencySetting::DeviceManager)
      return " Таймер задержки адаптера FTDI: " + timer + " мс." + LowerTimer(adapter, facts.portName);
    return " Таймер задержки адаптера: " + timer + " мс (" + adapter.location + ")." +
           LowerTimer(adapter, facts.portName);
  }
  if (adapter.timerMs) {
    return " Таймер задержки адаптера уже " + std::to_string(*adapter.timerMs) +
           " мс: задержку вносит драйвер или USB-концентратор; подключите адаптер к другому USB-порту "
           "или используйте другой адаптер.";
  }
  switch (adapter.setting) {
    case TLatencySetting::DeviceManager:
      return " Если это адаптер FTDI, уменьшите его таймер задержки до 1 мс: " + DeviceManagerPath(facts.portName) +
             "; у адаптеров других марок ищите такую настройку в свойствах их драйвера.";
    case TLatencySetting::SysfsFile:
      return " Уменьшите таймер задержки адаптера до 1 мс: echo 1 | sudo tee " + adapter.location + ".";
    case TLatencySetting::Unknown: break;
  }
  return " Драйвер адаптера не сообщает свой таймер задержки: уменьшите его в настройках драйвера, если они "
         "это позволяют, или используйте адаптер с меньшей задержкой.";
}

}  // namespace

std::string LatencyNotice(const TLatencyFacts& facts) {
  const uint32_t echoMs = (facts.echoMicros + 500) / 1000;
  if (echoMs <= kLatencyNoticeAboveMs) return {};
  return Cost(facts, echoMs) + Fix(facts);
}

}  // namespace quillorn
