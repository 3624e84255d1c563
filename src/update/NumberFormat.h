#ifndef TAVRIN_UPDATE_NUMBERFORMAT_H
#define TAVRIN_UPDATE_NUMBERFORMAT_H

#include <string>

// How the user's locale writes a number, as far as reading the interval box
// needs it: the decimal separator and the digit zero (both UTF-8; the other nine
// digits follow the zero in Unicode). The platform side fills it from its own
// locale; the default is the plain C form.
struct NumberFormat
{
    std::string decimalPoint = ".";
    std::string zeroDigit = "0";
};

#endif
