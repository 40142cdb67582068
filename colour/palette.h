// HSL_to_RGB: the false-colour scale. v is measured against the full scale n: v = 0 is
// (39, 0, 159), v = n pure red, values between run through blue, cyan, green and yellow
// growing lighter; above n the red blends towards white (reached at v = 935 for n = 255)
// and green and blue go on past 255, unclamped. A negative v (-0.0 is not negative)
// ignores n: (39, 0, 3v + 159 truncated toward zero), unclamped. Results are exact to
// the bit; for every whole v in 0..255 with n = 255 all three lie within 0..255.
//
// Inputs without a colour of their own, all free of undefined behaviour:
//   - n = 0: a negative v takes the ramp above; any other v gives black (0, 0, 0).
//   - v not a number: black (0, 0, 0), whatever n.
//   - a channel, or 3v + 159, beyond the int range saturates to INT_MAX or INT_MIN
//     (v = +infinity with n > 0 gives (255, INT_MAX, INT_MAX); v = -infinity gives
//     (39, 0, INT_MIN)). A channel that is already 255 stays 255 when blended towards
//     white, even by an infinite lightness; a channel that would come out not a number
//     (0 darkened by an infinite lightness, n < 0 only) is 0.
#ifndef TAVRIN_COLOUR_PALETTE_H
#define TAVRIN_COLOUR_PALETTE_H

void HSL_to_RGB(double v, int n, int& red, int& green, int& blue);

#endif
