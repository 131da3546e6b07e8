// A small Modbus RTU slave built on libmodbus, on a pseudo-terminal of its own: functions 3,
// 4, 6 and 16 from a modbus_mapping laid over the cabinet's register numbering.
// Usage: peer_modbus_server LINK ADDRESS WRITES_FILE
// Every register written is appended to WRITES_FILE as "register value".
#include "PeerPattern.h"

#include <modbus.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

char linkPath[4096];

void onSignal(int)
{
    ::unlink(linkPath);
    _exit(0);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s LINK ADDRESS WRITES_FILE\n", argv[0]);
        return 2;
    }
    std::snprintf(linkPath, sizeof linkPath, "%s", argv[1]);
    const int address = std::atoi(argv[2]);
    FILE* writes = std::fopen(argv[3], "w");
    if (!writes) return 1;

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return 1;
    const char* slaveName = ptsname(master);
    // Held open so the master side never reports a hang-up between clients.
    const int slave = ::open(slaveName, O_RDWR | O_NOCTTY);
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);

    // libmodbus talks to the master side; the client opens the slave side through the link.
    modbus_t* ctx = modbus_new_rtu(slaveName, 9600, 'N', 8, 2);
    modbus_set_slave(ctx, address);
    modbus_set_socket(ctx, master);
    modbus_mapping_t* map = modbus_mapping_new_start_address(
        0, 0, 0, 0, PeerHoldingFirst - 1, PeerHoldingCount, PeerInputFirst - 1, PeerInputCount);
    if (!ctx || !map) return 1;
    for (int i = 0; i < PeerInputCount; ++i) map->tab_input_registers[i] = PeerStartValue(PeerInputFirst + i);
    for (int i = 0; i < PeerHoldingCount; ++i) map->tab_registers[i] = PeerStartValue(PeerHoldingFirst + i);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    ::unlink(linkPath);
    if (::symlink(slaveName, linkPath) != 0) return 1;

    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    for (;;) {
        const int rc = modbus_receive(ctx, query);
        if (rc <= 0) continue; // a bad CRC or another slave's request: wait for the next
        const int function = query[1];
        const int first = (query[2] << 8 | query[3]) + 1;
        if (modbus_reply(ctx, query, rc, map) < 0) continue;
        const bool inHolding = first >= PeerHoldingFirst && first < PeerHoldingFirst + PeerHoldingCount;
        if (!inHolding) {
        } else if (function == 6) {
            std::fprintf(writes, "%d %d\n", first, query[4] << 8 | query[5]);
        } else if (function == 16) {
            const int count = query[4] << 8 | query[5];
            for (int i = 0;
                 i < count && 7 + 2 * i + 1 < rc && first + i < PeerHoldingFirst + PeerHoldingCount; ++i)
                std::fprintf(writes, "%d %d\n", first + i, query[7 + 2 * i] << 8 | query[8 + 2 * i]);
        }
        std::fflush(writes);
    }
}
