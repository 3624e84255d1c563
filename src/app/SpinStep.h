#ifndef TAVRIN_APP_SPINSTEP_H
#define TAVRIN_APP_SPINSTEP_H

#include <string_view>

// One click on the interval box's arrows: the next number they write into it.
// The step starts from the whole number in the box's text when it holds one
// (blanks around it and a sign allowed), otherwise from the arrows' own
// value, and the result stays within [minimum, maximum].
namespace SpinStep {
int stepped(std::string_view buddyText, int ownValue, int delta, int minimum, int maximum);
}

#endif
