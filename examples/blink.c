/*
 * blink.c - a small 8051 program for the example HEX file.
 *
 * Timer 0 interrupts every millisecond (12 MHz clock, 12 clocks per machine
 * cycle); the main loop walks a pattern table out on port 1 and holds each
 * step for the time in a second table. Both tables sit in code memory, so
 * the HEX file carries code, interrupt vectors and constant data.
 */
#include <8051.h>
#include <stdint.h>

#define TICK_RELOAD (65536u - 1000u) /* 1000 machine cycles = 1 ms */

static const uint8_t __code patterns[] = {
    0xFE, 0xFD, 0xFB, 0xF7, 0xEF, 0xDF, 0xBF, 0x7F,
    0xBF, 0xDF, 0xEF, 0xF7, 0xFB, 0xFD, 0xFE, 0xFF,
    0x00, 0xFF, 0x00, 0xFF, 0xAA, 0x55, 0xAA, 0x55,
};

static const uint16_t __code hold_ms[] = {
    120, 120, 120, 120, 120, 120, 120, 120,
    80,  80,  80,  80,  80,  80,  80,  250,
    200, 200, 200, 500, 150, 150, 150, 1000,
};

#define STEPS (sizeof patterns / sizeof patterns[0])

static volatile uint16_t ticks;

void timer0_isr(void) __interrupt(1)
{
    TH0 = (uint8_t)(TICK_RELOAD >> 8);
    TL0 = (uint8_t)(TICK_RELOAD & 0xFF);
    ticks++;
}

static uint16_t read_ticks(void)
{
    uint16_t now;
    EA = 0; /* the 16-bit counter is updated by the interrupt */
    now = ticks;
    EA = 1;
    return now;
}

static void wait_ms(uint16_t ms)
{
    uint16_t start = read_ticks();
    while ((uint16_t)(read_ticks() - start) < ms) {
        PCON |= 0x01; /* idle until the next interrupt */
    }
}

static void timer0_start(void)
{
    TMOD = (TMOD & 0xF0) | 0x01; /* timer 0, mode 1 (16 bit) */
    TH0 = (uint8_t)(TICK_RELOAD >> 8);
    TL0 = (uint8_t)(TICK_RELOAD & 0xFF);
    ET0 = 1;
    EA = 1;
    TR0 = 1;
}

void main(void)
{
    uint8_t step = 0;
    timer0_start();
    for (;;) {
        P1 = patterns[step];
        wait_ms(hold_ms[step]);
        if (++step == STEPS) step = 0;
        if (P3_2 == 0) { /* button on INT0 held: freeze with all LEDs on */
            P1 = 0x00;
            while (P3_2 == 0) wait_ms(10);
        }
    }
}
