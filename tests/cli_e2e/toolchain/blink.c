/* A blinker with initialised RAM data: the linker copies .data from flash at start-up. */
#define P1OUT (*(volatile unsigned char *)0x21)
static const unsigned char pattern[8] = {1, 2, 4, 8, 16, 32, 64, 128};
unsigned counter = 5;
unsigned scratch[4];
int main(void) {
    for (;;) {
        for (unsigned i = 0; i < 8; ++i) {
            P1OUT = pattern[i];
            counter += i;
            scratch[i & 3] = counter;
        }
    }
}
__attribute__((section(".vectors"), used)) static const unsigned short reset_vector = 0x1100;
