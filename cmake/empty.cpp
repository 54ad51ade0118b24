// The shared library is made of the layer archives linked in whole.
