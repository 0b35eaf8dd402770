// Start-up banner of the debug console.
#pragma once

void print_banner();
