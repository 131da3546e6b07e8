#include "SimRunTime.h"

#include "SimImage.h"

namespace sim {

namespace {
constexpr uint32_t RectHours = 30043;
constexpr uint32_t RectHoursCopy = 51052;
constexpr uint32_t BattHours = 51062;
constexpr uint32_t FanHours = 51065;

void bump(RegisterImage& image, uint32_t reg)
{
    image.write(reg, static_cast<uint16_t>(image.read(reg) + 1));
}
} // namespace

void fillRunTime(RegisterImage& image)
{
    // OPTION port: slave address 1, 8 data bits, no parity, 9600 bit/s, one stop bit,
    // protocol 1 (Vemra Modbus); the other registers of the block are spare.
    const uint16_t option[10] = {1, 8, 0, 2, 1, 0, 0, 0, 1, 0};
    for (uint32_t i = 0; i < 10; ++i) image.write(51021 + i, option[i]);

    // Runtime, in hours: limits and elapsed times; the registers between them are spare.
    for (uint32_t reg = 51051; reg <= 51066; ++reg) image.write(reg, 0);
    image.write(51051, 50000); // rectifier limit
    image.write(RectHoursCopy, image.read(RectHours));
    image.write(51061, 26280); // battery limit, three years
    image.write(BattHours, 8760);
    image.write(51064, 43800); // fan limit, five years
    image.write(FanHours, 12000);
}

void keepRunTimeTogether(RegisterImage& image, uint32_t reg, uint16_t value)
{
    if (reg == RectHours) image.write(RectHoursCopy, value);
    if (reg == RectHoursCopy) image.write(RectHours, value);
}

void advanceRunTime(RegisterImage& image)
{
    bump(image, RectHours);
    image.write(RectHoursCopy, image.read(RectHours));
    bump(image, BattHours);
    bump(image, FanHours);
}

} // namespace sim
