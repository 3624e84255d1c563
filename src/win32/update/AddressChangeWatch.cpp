#include "win32/update/AddressChangeWatch.h"

#include "base/CoreLog.h"

#include <iphlpapi.h>

#include <vector>

constexpr UINT ChangedMessage = WM_APP + 1;

AddressChangeWatch::AddressChangeWatch(std::function<void()> onBack, Probe probe)
    : m_onBack(std::move(onBack)), m_probe(std::move(probe)),
      m_window([this](UINT message, WPARAM, LPARAM) {
          if (message != ChangedMessage)
              return false;
          check();
          return true;
      })
{
    m_overlapped.hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    m_reachable = m_probe();
    arm();
    // The system signals on its own threads; the check runs on ours.
    if (!m_overlapped.hEvent ||
        !RegisterWaitForSingleObject(&m_wait, m_overlapped.hEvent, &AddressChangeWatch::changed,
                                     this, INFINITE, WT_EXECUTEDEFAULT))
        CoreLog::write(CoreLog::Area::Update, CoreLog::Level::Warning,
                       "the network's return cannot be watched; syncs keep their schedule");
}

AddressChangeWatch::~AddressChangeWatch()
{
    if (m_wait)
        UnregisterWaitEx(m_wait, INVALID_HANDLE_VALUE);
    if (m_armed)
        CancelIPChangeNotify(&m_overlapped);
    if (m_overlapped.hEvent)
        CloseHandle(m_overlapped.hEvent);
}

void AddressChangeWatch::arm()
{
    HANDLE unused = nullptr;
    m_armed = m_overlapped.hEvent && NotifyAddrChange(&unused, &m_overlapped) == ERROR_IO_PENDING;
}

void CALLBACK AddressChangeWatch::changed(void *watch, BOOLEAN)
{
    PostMessageW(static_cast<AddressChangeWatch *>(watch)->m_window.hwnd(), ChangedMessage, 0, 0);
}

void AddressChangeWatch::check()
{
    // Each notification covers one change; the next needs asking again.
    arm();
    const bool now = m_probe();
    const bool back = now && !m_reachable;
    m_reachable = now;
    if (back && m_onBack)
        m_onBack();
}

bool AddressChangeWatch::systemReachable()
{
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    // The list may grow between two calls.
    for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result =
            GetAdaptersAddresses(AF_UNSPEC, flags, nullptr,
                                 reinterpret_cast<IP_ADAPTER_ADDRESSES *>(buffer.data()), &size);
    }
    if (result != NO_ERROR)
        return false;
    for (auto *adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES *>(buffer.data()); adapter;
         adapter = adapter->Next) {
        if (adapter->OperStatus == IfOperStatusUp && adapter->IfType != IF_TYPE_SOFTWARE_LOOPBACK &&
            adapter->FirstUnicastAddress)
            return true;
    }
    return false;
}
