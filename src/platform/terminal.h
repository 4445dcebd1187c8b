// Whether standard output is an interactive terminal (a console on Windows).
#pragma once

bool stdout_is_terminal();
