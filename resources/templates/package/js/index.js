/**
 * Entry point of the project's scripts.
 *
 * The editor bundles this file and everything it imports. Import the
 * components of your project here so that they are registered, for example:
 *
 *     export * from './my-component.js';
 */
export {};
