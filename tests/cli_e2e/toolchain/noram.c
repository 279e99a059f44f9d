/* A blinker without RAM data, with a table placed far from the code. */
#define P1OUT (*(volatile unsigned char *)0x21)
static const unsigned char pattern[8] = {1, 2, 4, 8, 16, 32, 64, 128};
__attribute__((section(".consts"), used)) const unsigned char table[4] = {0xDE, 0xAD, 0x00, 0x42};
int main(void) {
    for (;;)
        for (unsigned i = 0; i < 8; ++i)
            P1OUT = pattern[i] ^ table[i & 3];
}
__attribute__((section(".vectors"), used)) static const unsigned short reset_vector = 0x1100;
