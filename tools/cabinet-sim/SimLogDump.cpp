#include "SimLogDump.h"

#include "SimEventLog.h"

#include <cstdio>

namespace sim {

int dumpLog(const Options& options)
{
    // RecNo,year,month,day,hour,minute,second,state,module,event,alarm, the nine status words
    // in the record's field order, the fifteen measurements in tenths, the temperature word.
    EventLog log(options.records);
    log.setInvalidDates(options.invalidDates);
    for (int n = 1; n <= log.count(); ++n) {
        const EventEntry e = log.entry(n);
        std::printf("%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d", e.recNo, e.year, e.month, e.day, e.hour, e.minute,
                    e.second, e.state, e.module, e.event, e.alarm);
        for (uint16_t w : e.words) std::printf(",%u", static_cast<unsigned>(w));
        for (uint16_t v : e.tenths) std::printf(",%u", static_cast<unsigned>(v));
        std::printf(",%u\n", static_cast<unsigned>(e.temperature));
    }
    return 0;
}

} // namespace sim
