#!/bin/sh
# Runs once before the application starts, from the unpacked image.
echo "demo application: install step"
