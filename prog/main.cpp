#include "tramel.hpp"

int main() { return tramel::program(); }
