#pragma once

// What the editors' right-click menus ask of the MIDI controllers that play parameters;
// the main window answers.
class ParameterControllers {
public:
    virtual ~ParameterControllers() = default;
    // Waits for the next controller moved on the MIDI input and lets it play the parameter.
    virtual void learn(int parameter) = 0;
    // The parameter is played by no controller any more.
    virtual void forget(int parameter) = 0;
};
