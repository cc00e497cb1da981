// Compiles the header every test shares; the tests have nothing else in common here.
